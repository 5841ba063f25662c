#include "sim/state_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "sim/shared_files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/virtual_clock.h"
#include "update/bootloader_protocol.h"
#include "update/fletcher.h"

namespace sim {
namespace {

using padflash::testing::VirtualClock;
using Json = nlohmann::ordered_json;

constexpr size_t kWholeReport = padflash::kReportSize + 1;

// ---- hex ---------------------------------------------------------------------

TEST(StateFileHex, EncodesLowerCaseAndDecodesEitherCase) {
  const uint8_t bytes[] = {0x00, 0x0F, 0xA5, 0xFF};
  EXPECT_EQ(ToHex(bytes, 4), "000fa5ff");
  EXPECT_EQ(ToHex(bytes, 0), "");
  std::vector<uint8_t> out;
  ASSERT_TRUE(FromHex("000FA5ff", out));
  EXPECT_EQ(out, std::vector<uint8_t>(bytes, bytes + 4));
  ASSERT_TRUE(FromHex("", out));
  EXPECT_TRUE(out.empty());
}

TEST(StateFileHex, RefusesOddLengthAndNonDigitsLeavingOutputAlone) {
  std::vector<uint8_t> out = {1, 2};
  EXPECT_FALSE(FromHex("abc", out));
  EXPECT_FALSE(FromHex("0g", out));
  EXPECT_FALSE(FromHex("0x12", out));
  EXPECT_FALSE(FromHex(" 1", out));
  EXPECT_EQ(out, (std::vector<uint8_t>{1, 2}));
}

// ---- one controller's state --------------------------------------------------

// Every field away from its default, so a field the file forgets shows.
ControllerState FilledState() {
  ControllerState s;
  s.config.i2c = true;
  s.config.vendorId = 0x044E;
  s.config.productId = 0x1234;
  s.config.chipId = 0x13;
  s.config.revision = 0x09;
  s.config.reportId = 0x0A;
  s.config.bootloaderVersion = 6;
  s.config.compTableSize = 256;
  s.config.feedConfig1 = 0xA5;
  s.config.serial = "PAD-9";
  s.config.bootloaderSerial = "BL-9";
  s.config.product = L"Pad \u00E9\u20AC";
  s.config.inBootloader = true;
  s.config.restartDelayMs = 750;
  s.config.i2cAddress = 0x15;
  s.config.hidDescriptorAddress = 0x0040;
  s.mode = Mode::kBootloader;
  s.restart = {true, true, 1733600000123ull, Mode::kFirmware};
  s.generation = 17;
  s.flash.resize(kFlashSize);
  for (size_t i = 0; i < s.flash.size(); ++i) s.flash[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
  s.ram.resize(kRamMirrorSize);
  for (size_t i = 0; i < s.ram.size(); ++i) s.ram[i] = static_cast<uint8_t>(255 - i);
  s.accessOffset = 0x1FFF3E54;
  s.lastError = padflash::NV_err_chksum_mismatch;
  s.flags = 0x29;
  s.imageValid = false;
  s.runningChipId = 0x21;
  s.runningRevision = 0x22;
  s.runningVendorId = 0x0488;
  s.runningProductId = 0x0202;
  s.structureFromFactoryPage = true;
  s.formatImage = {true, 3, {1, 2, 3, 4}, 0x0020, 0x2C, 7};
  s.regions = {{0, 0x08001900, 0x2000, 0xDEADBEEF, 520}, {2, 0x0800FC00, 0x400, 0x12345678, 0}};
  s.pendingReply.assign(kWholeReport, 0x3C);
  s.faults = {1, 2, 3, true, 4, 0x0B, true, true, 5, 900, 6, 7, 8};
  s.counters = {10, 11, 12, 13, 14, 15, 16};
  return s;
}

void ExpectSameState(const ControllerState& a, const ControllerState& b) {
  EXPECT_EQ(a.config.i2c, b.config.i2c);
  EXPECT_EQ(a.config.vendorId, b.config.vendorId);
  EXPECT_EQ(a.config.productId, b.config.productId);
  EXPECT_EQ(a.config.chipId, b.config.chipId);
  EXPECT_EQ(a.config.revision, b.config.revision);
  EXPECT_EQ(a.config.reportId, b.config.reportId);
  EXPECT_EQ(a.config.bootloaderVersion, b.config.bootloaderVersion);
  EXPECT_EQ(a.config.compTableSize, b.config.compTableSize);
  EXPECT_EQ(a.config.feedConfig1, b.config.feedConfig1);
  EXPECT_EQ(a.config.serial, b.config.serial);
  EXPECT_EQ(a.config.bootloaderSerial, b.config.bootloaderSerial);
  EXPECT_EQ(a.config.product, b.config.product);
  EXPECT_EQ(a.config.inBootloader, b.config.inBootloader);
  EXPECT_EQ(a.config.restartDelayMs, b.config.restartDelayMs);
  EXPECT_EQ(a.config.i2cAddress, b.config.i2cAddress);
  EXPECT_EQ(a.config.hidDescriptorAddress, b.config.hidDescriptorAddress);
  EXPECT_EQ(a.mode, b.mode);
  EXPECT_EQ(a.restart.active, b.restart.active);
  EXPECT_EQ(a.restart.forever, b.restart.forever);
  EXPECT_EQ(a.restart.untilMs, b.restart.untilMs);
  EXPECT_EQ(a.restart.mode, b.restart.mode);
  EXPECT_EQ(a.generation, b.generation);
  EXPECT_EQ(a.flash, b.flash);
  EXPECT_EQ(a.ram, b.ram);
  EXPECT_EQ(a.accessOffset, b.accessOffset);
  EXPECT_EQ(a.lastError, b.lastError);
  EXPECT_EQ(a.flags, b.flags);
  EXPECT_EQ(a.imageValid, b.imageValid);
  EXPECT_EQ(a.runningChipId, b.runningChipId);
  EXPECT_EQ(a.runningRevision, b.runningRevision);
  EXPECT_EQ(a.runningVendorId, b.runningVendorId);
  EXPECT_EQ(a.runningProductId, b.runningProductId);
  EXPECT_EQ(a.structureFromFactoryPage, b.structureFromFactoryPage);
  EXPECT_EQ(a.formatImage.formatted, b.formatImage.formatted);
  EXPECT_EQ(a.formatImage.regionCount, b.formatImage.regionCount);
  EXPECT_EQ(0, std::memcmp(a.formatImage.imageWord, b.formatImage.imageWord, 4));
  EXPECT_EQ(a.formatImage.hidDescriptorAddress, b.formatImage.hidDescriptorAddress);
  EXPECT_EQ(a.formatImage.i2cAddress, b.formatImage.i2cAddress);
  EXPECT_EQ(a.formatImage.reportId, b.formatImage.reportId);
  ASSERT_EQ(a.regions.size(), b.regions.size());
  for (size_t i = 0; i < a.regions.size(); ++i) {
    EXPECT_EQ(a.regions[i].index, b.regions[i].index);
    EXPECT_EQ(a.regions[i].address, b.regions[i].address);
    EXPECT_EQ(a.regions[i].length, b.regions[i].length);
    EXPECT_EQ(a.regions[i].fletcher32, b.regions[i].fletcher32);
    EXPECT_EQ(a.regions[i].bytesWritten, b.regions[i].bytesWritten);
  }
  EXPECT_EQ(a.pendingReply, b.pendingReply);
  EXPECT_EQ(a.faults.failSetAt, b.faults.failSetAt);
  EXPECT_EQ(a.faults.failGetAt, b.faults.failGetAt);
  EXPECT_EQ(a.faults.corruptReadReplyAt, b.faults.corruptReadReplyAt);
  EXPECT_EQ(a.faults.corruptEveryReadReply, b.faults.corruptEveryReadReply);
  EXPECT_EQ(a.faults.bootloaderErrorAfterChunk, b.faults.bootloaderErrorAfterChunk);
  EXPECT_EQ(a.faults.bootloaderErrorCode, b.faults.bootloaderErrorCode);
  EXPECT_EQ(a.faults.noReturnAfterInvoke, b.faults.noReturnAfterInvoke);
  EXPECT_EQ(a.faults.noReturnAfterReset, b.faults.noReturnAfterReset);
  EXPECT_EQ(a.faults.powerLossAtChunk, b.faults.powerLossAtChunk);
  EXPECT_EQ(a.faults.returnDelayMs, b.faults.returnDelayMs);
  EXPECT_EQ(a.faults.bootloaderErrorAtSet, b.faults.bootloaderErrorAtSet);
  EXPECT_EQ(a.faults.powerLossAtReport, b.faults.powerLossAtReport);
  EXPECT_EQ(a.faults.hostDeathAtReport, b.faults.hostDeathAtReport);
  EXPECT_EQ(a.counters.sets, b.counters.sets);
  EXPECT_EQ(a.counters.gets, b.counters.gets);
  EXPECT_EQ(a.counters.failedSets, b.counters.failedSets);
  EXPECT_EQ(a.counters.failedGets, b.counters.failedGets);
  EXPECT_EQ(a.counters.memoryReadReplies, b.counters.memoryReadReplies);
  EXPECT_EQ(a.counters.writeChunks, b.counters.writeChunks);
  EXPECT_EQ(a.counters.restarts, b.counters.restarts);
}

TEST(ControllerStateJson, RoundTripKeepsEveryField) {
  const ControllerState original = FilledState();
  // Through text, as the file carries it.
  const std::string text = ControllerStateToJson(original).dump();
  ControllerState loaded;
  std::string error;
  ASSERT_TRUE(ControllerStateFromJson(Json::parse(text), loaded, error)) << error;
  ExpectSameState(original, loaded);
  EXPECT_EQ(ControllerStateToJson(loaded).dump(), text);
}

// The file has to name each field; a field added to the state without a
// line in state_file.cpp would be lost between processes. These sizes
// change when a field is added: then extend the file and the test above.
// (Sizes of an LP64 build.)
TEST(ControllerStateJson, FileCoversTheStateAsDeclared) {
  EXPECT_EQ(sizeof(ControllerConfig), 144u);
  EXPECT_EQ(sizeof(FaultRules), 44u);
  EXPECT_EQ(sizeof(ControllerCounters), 56u);
  EXPECT_EQ(sizeof(FormatImageRecord), 10u);
  EXPECT_EQ(sizeof(FormattedRegion), 20u);
  EXPECT_EQ(sizeof(PendingRestart), 24u);
  EXPECT_EQ(sizeof(ControllerState), 416u);
}

TEST(ControllerStateJson, KeepsDefaultsForAbsentFields) {
  Json j = ControllerStateToJson(FilledState());
  j.erase("faults");
  j["config"].erase("restartDelayMs");
  ControllerState loaded;
  std::string error;
  ASSERT_TRUE(ControllerStateFromJson(j, loaded, error)) << error;
  EXPECT_EQ(loaded.faults.failSetAt, 0);
  EXPECT_EQ(loaded.config.restartDelayMs, 500u);
  EXPECT_EQ(loaded.config.vendorId, 0x044E);
}

TEST(ControllerStateJson, RefusesValuesTheModelCouldNotRunOn) {
  struct Case {
    const char* what;
    void (*spoil)(Json&);
    const char* mention;
  };
  const Case cases[] = {
      {"short flash", [](Json& j) { j["flash"] = "00ff"; }, "flash"},
      {"flash not hex", [](Json& j) { j["flash"] = std::string(2 * kFlashSize, 'z'); }, "flash"},
      {"no flash", [](Json& j) { j.erase("flash"); }, "flash"},
      {"long RAM", [](Json& j) { j["ram"] = std::string(2 * kRamMirrorSize + 2, '0'); }, "ram"},
      {"region below flash", [](Json& j) { j["regions"][0]["address"] = 0x07FFFF00; },
       "regions[0].address"},
      {"region past flash", [](Json& j) { j["regions"][1]["length"] = 0x401; }, "regions[1]"},
      {"half a reply", [](Json& j) { j["pendingReply"] = "0700"; }, "pendingReply"},
      {"byte too big", [](Json& j) { j["config"]["chipId"] = 256; }, "config.chipId"},
      {"negative", [](Json& j) { j["generation"] = -1; }, "generation"},
      {"fraction", [](Json& j) { j["lastError"] = 1.5; }, "lastError"},
      {"string for number", [](Json& j) { j["flags"] = "16"; }, "flags"},
      {"report ID 0", [](Json& j) { j["config"]["reportId"] = 0; }, "reportId"},
      {"comp table past page", [](Json& j) { j["config"]["compTableSize"] = 1025; }, "compTable"},
      {"mode", [](Json& j) { j["mode"] = "sleeping"; }, "mode"},
      {"transport", [](Json& j) { j["config"]["transport"] = "spi"; }, "transport"},
      {"flag", [](Json& j) { j["imageValid"] = 1; }, "imageValid"},
      {"config", [](Json& j) { j["config"] = 3; }, "config"},
      {"serial with a space", [](Json& j) { j["config"]["serial"] = "A B"; }, "config.serial"},
      {"serial with a path token", [](Json& j) { j["config"]["serial"] = "A&col01"; }, "serial"},
  };
  for (const Case& c : cases) {
    Json j = ControllerStateToJson(FilledState());
    c.spoil(j);
    ControllerState loaded = FilledState();
    loaded.generation = 99;
    std::string error;
    EXPECT_FALSE(ControllerStateFromJson(j, loaded, error)) << c.what;
    EXPECT_NE(error.find(c.mention), std::string::npos) << c.what << ": " << error;
    EXPECT_EQ(loaded.generation, 99u) << c.what << ": the target changed";
  }
}

// ---- the bus, driven the way the host drives it ------------------------------

class BusText : public ::testing::Test {
 protected:
  // A command buffer as the host sends it: report ID, then 531 bytes.
  bool Send(Bus& bus, const std::string& serial, std::vector<uint8_t> command) {
    std::vector<uint8_t> report(kWholeReport, 0);
    report[0] = 7;
    std::copy(command.begin(), command.end(), report.begin() + 1);
    Controller* c = bus.Find(serial);
    return c != nullptr && bus.SetFeature(serial, c->generation(), report.data(), report.size());
  }
  static void Put32(std::vector<uint8_t>& v, uint32_t x) {
    for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(x >> (8 * i)));
  }

  VirtualClock clock_;
};

// An update stopped after the first chunk: the controller waits in its
// bootloader with an invalid image; after a save and a load it still does,
// and its bootloader session goes on where it stopped.
TEST_F(BusText, ControllerLeftMidUpdateStaysSoAcrossSaveAndLoad) {
  Bus before(clock_);
  const std::string serial = before.Attach(ControllerConfig{}).serial();
  before.Attach(ControllerConfig{});  // a second one, untouched
  ASSERT_TRUE(Send(before, serial, {padflash::kCmdInvoke}));
  clock_.Advance(500);
  ASSERT_TRUE(before.Find(serial)->inBootloader());
  ASSERT_TRUE(Send(before, serial, {padflash::kCmdFormatImage, 0, 1, 0, 0, 0, 0}));
  std::vector<uint8_t> image(0x400);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 13);
  std::vector<uint8_t> region = {padflash::kCmdFormatRegion, 0};
  Put32(region, kImageStartUsb);
  Put32(region, static_cast<uint32_t>(image.size()));
  Put32(region, padflash::Fletcher32(image.data(), image.size()));
  ASSERT_TRUE(Send(before, serial, region));
  std::vector<uint8_t> chunk = {padflash::kCmdWriteData};
  Put32(chunk, kImageStartUsb);
  Put32(chunk, 0x200);
  chunk.insert(chunk.end(), image.begin(), image.begin() + 0x200);
  ASSERT_TRUE(Send(before, serial, chunk));
  ASSERT_EQ(before.Find(serial)->lastError(), padflash::NV_err_none);

  const std::string text = BusToText(before);
  Bus after(clock_);
  std::string error;
  ASSERT_TRUE(BusFromText(text, after, error)) << error;
  ASSERT_EQ(after.controllers().size(), 2u);
  EXPECT_EQ(after.nextSerialNumber(), before.nextSerialNumber());
  Controller& c = *after.Find(serial);
  ExpectSameState(before.Find(serial)->state(), c.state());
  EXPECT_TRUE(c.inBootloader());
  EXPECT_FALSE(c.imageValid());
  EXPECT_EQ(c.vendorId(), kBootloaderVendorId);
  EXPECT_EQ(c.productId(), kBootloaderProductId);

  // The rest of the image, then validate and reset: the firmware runs.
  chunk.assign({padflash::kCmdWriteData});
  Put32(chunk, kImageStartUsb + 0x200);
  Put32(chunk, 0x200);
  chunk.insert(chunk.end(), image.begin() + 0x200, image.end());
  ASSERT_TRUE(Send(after, serial, chunk));
  ASSERT_TRUE(Send(after, serial, {padflash::kCmdValidate}));
  EXPECT_EQ(c.lastError(), padflash::NV_err_none);
  EXPECT_TRUE(c.imageValid());
}

TEST_F(BusText, RestartInProgressEndsOnTheClockOfTheNextLoader) {
  Bus before(clock_);
  const std::string serial = before.Attach(ControllerConfig{}).serial();
  ASSERT_TRUE(Send(before, serial, {padflash::kCmdInvoke}));
  const std::string text = BusToText(before);

  Bus after(clock_);
  std::string error;
  ASSERT_TRUE(BusFromText(text, after, error)) << error;
  EXPECT_FALSE(after.Find(serial)->present());
  clock_.Advance(499);
  EXPECT_TRUE(after.Interfaces().empty());
  clock_.Advance(1);
  const std::vector<BusInterface> seen = after.Interfaces();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].productId, kBootloaderProductId);
}

TEST_F(BusText, BadTextLeavesTheBusAsItWas) {
  Bus bus(clock_);
  bus.Attach(ControllerConfig{});
  std::string good = BusToText(bus);
  Json spoiled = Json::parse(good);
  spoiled["controllers"][0]["ram"] = "00";
  for (const std::string& text :
       {std::string("{"), std::string("[]"), std::string("{\"format\":\"other\",\"version\":1}"),
        std::string("{\"format\":\"padflash-sim-bus\",\"version\":2}"), spoiled.dump()}) {
    std::string error;
    EXPECT_FALSE(BusFromText(text, bus, error)) << text.substr(0, 40);
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(bus.controllers().size(), 1u);
  }
  std::string error;
  EXPECT_TRUE(BusFromText("", bus, error)) << error;
  EXPECT_TRUE(bus.controllers().empty());
}

// ---- two buses on one file, as two processes ---------------------------------

class SharedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = padflash::testing::MakeTempFolder("simtools").string();
    ASSERT_FALSE(dir_.empty());
    path_ = dir_ + "/state.json";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Read() const {
    std::ifstream in(path_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  VirtualClock clock_;
  std::string dir_;
  std::string path_;
};

TEST_F(SharedFile, EachSideSeesTheOthersChangesAtItsNextTransaction) {
  Bus busA(clock_), busB(clock_);
  PersistentBus a(busA, path_), b(busB, path_);
  std::string serial;
  {
    PersistentBus::Transaction t(a);
    ASSERT_TRUE(t.ok()) << t.error();
    serial = busA.Attach(ControllerConfig{}).serial();
  }
  {
    PersistentBus::Transaction t(b);
    ASSERT_TRUE(t.ok()) << t.error();
    ASSERT_NE(busB.Find(serial), nullptr);
    busB.Find(serial)->faults().failSetAt = 3;
    b.MarkChanged();
    busB.Attach(ControllerConfig{});
  }
  {
    PersistentBus::Transaction t(a);
    ASSERT_EQ(busA.controllers().size(), 2u);
    EXPECT_EQ(busA.Find(serial)->faults().failSetAt, 3);
    EXPECT_TRUE(busA.Detach(serial));
  }
  PersistentBus::Transaction t(b);
  EXPECT_EQ(busB.Find(serial), nullptr);
  EXPECT_EQ(busB.controllers().size(), 1u);
  // No temporary file is left beside the state, and the detached
  // controller's flash image went with it.
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) {
    files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0], "state.json");
  EXPECT_EQ(files[1].rfind("state.json.flash.", 0), 0u) << files[1];
  EXPECT_EQ(files[2], "state.json.lock");
}

// A save by another process often leaves the file the same size, and its
// new file may reuse the old one's number within the same clock tick: each
// side must still see every change the other made.
TEST_F(SharedFile, SeesChangesThatKeepTheFileSize) {
  Bus busA(clock_), busB(clock_);
  PersistentBus a(busA, path_), b(busB, path_);
  std::string serial;
  {
    PersistentBus::Transaction t(a);
    serial = busA.Attach(ControllerConfig{}).serial();
  }
  for (uint32_t round = 0; round < 60; ++round) {
    Bus& bus = round % 2 == 0 ? busB : busA;
    PersistentBus& store = round % 2 == 0 ? b : a;
    PersistentBus::Transaction t(store);
    ASSERT_TRUE(t.ok()) << t.error();
    ASSERT_NE(bus.Find(serial), nullptr);
    ASSERT_EQ(bus.Find(serial)->faults().failSetAt, round % 9) << "round " << round;
    bus.Find(serial)->faults().failSetAt = (round + 1) % 9;
    // The flash image, kept in a file of its own, too.
    std::vector<uint8_t>& flash = bus.Find(serial)->state().flash;
    ASSERT_EQ(flash[0x100], round == 0 ? flash[0x100] : static_cast<uint8_t>(round)) << round;
    flash[0x100] = static_cast<uint8_t>(round + 1);
    store.MarkChanged();
  }
}

// A state file naming some other file as a controller's flash image is
// refused, so that file is never read as flash nor deleted as an old image.
TEST_F(SharedFile, RefusesAFlashFileOfAnotherName) {
  const std::string victim = dir_ + "/victim.bin";
  { std::ofstream(victim, std::ios::binary) << std::string(kFlashSize, 'v'); }
  Bus bus(clock_);
  PersistentBus store(bus, path_);
  {
    PersistentBus::Transaction t(store);
    bus.Attach(ControllerConfig{});
  }
  Json file = Json::parse(Read());
  file["controllers"][0]["flashFile"] = "victim.bin";
  { std::ofstream(path_) << file.dump(); }
  {
    PersistentBus::Transaction t(store);
    EXPECT_FALSE(t.ok());
    EXPECT_NE(t.error().find("flashFile"), std::string::npos) << t.error();
    store.MarkChanged();
  }
  EXPECT_EQ(std::filesystem::file_size(victim), kFlashSize);
}

TEST_F(SharedFile, NeverSavesOverAFileItCannotRead) {
  { std::ofstream(path_) << "{ not json"; }
  Bus bus(clock_);
  PersistentBus store(bus, path_);
  {
    PersistentBus::Transaction t(store);
    EXPECT_FALSE(t.ok());
    EXPECT_NE(t.error().find("not valid JSON"), std::string::npos) << t.error();
    bus.Attach(ControllerConfig{});
  }
  EXPECT_EQ(Read(), "{ not json");
  // Once the file is mended, the bus follows it again.
  { std::ofstream(path_) << ""; }
  PersistentBus::Transaction t(store);
  EXPECT_TRUE(t.ok()) << t.error();
  EXPECT_TRUE(bus.controllers().empty());
}

TEST_F(SharedFile, AMissingFileIsAnEmptyBusAndADeletedOneEmptiesIt) {
  Bus bus(clock_);
  PersistentBus store(bus, path_);
  {
    PersistentBus::Transaction t(store);
    EXPECT_TRUE(t.ok());
    EXPECT_TRUE(bus.controllers().empty());
    bus.Attach(ControllerConfig{});
  }
  ASSERT_TRUE(std::filesystem::exists(path_));
  std::filesystem::remove(path_);
  PersistentBus::Transaction t(store);
  EXPECT_TRUE(bus.controllers().empty());
}

#ifndef _WIN32
// A link planted at the name of a save's temporary file is neither followed
// nor removed: the save takes another name and the link's target stays.
TEST_F(SharedFile, ASaveNeverWritesThroughALinkAtItsTemporaryName) {
  const std::string victim = dir_ + "/victim.txt";
  { std::ofstream(victim) << "keep"; }
  const std::string link = path_ + ".tmp." + std::to_string(CurrentProcessId());
  std::filesystem::create_symlink(victim, link);
  Bus bus(clock_);
  PersistentBus store(bus, path_);
  {
    PersistentBus::Transaction t(store);
    ASSERT_TRUE(t.ok()) << t.error();
    bus.Attach(ControllerConfig{});
  }
  EXPECT_EQ(Read().find("keep"), std::string::npos);
  std::ifstream in(victim);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "keep");
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  Bus again(clock_);
  PersistentBus reader(again, path_);
  PersistentBus::Transaction t(reader);
  ASSERT_TRUE(t.ok()) << t.error();
  EXPECT_EQ(again.controllers().size(), 1u);
}
#endif

TEST_F(SharedFile, ReportsAStateFileInAMissingDirectory) {
  Bus bus(clock_);
  PersistentBus store(bus, dir_ + "/no/such/state.json");
  PersistentBus::Transaction t(store);
  EXPECT_FALSE(t.ok());
  EXPECT_NE(t.error().find("lock"), std::string::npos) << t.error();
}

}  // namespace
}  // namespace sim
