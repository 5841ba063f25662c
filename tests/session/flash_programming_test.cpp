// The programming stages against a simulated controller already in its
// bootloader, with images shaped to reach every region rule.
#include "update/flash_programming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <sstream>

#include "firmware/hex_record_text.h"
#include "tests/session/session_setup.h"
#include "update/bootloader_protocol.h"

namespace padflash {
namespace {

using testing::SessionWorld;

// One Intel HEX record.
std::string Record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  return HexRecordText(type, address, data);
}

// Data records of 16 bytes for a run of `count` pseudo-random bytes.
void AddRun(std::deque<std::string>& lines, uint16_t address, size_t count, uint8_t seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 13);
  for (size_t at = 0; at < count; at += 16) {
    const size_t n = std::min<size_t>(16, count - at);
    lines.push_back(Record(0, static_cast<uint16_t>(address + at),
                           std::vector<uint8_t>(bytes.begin() + at, bytes.begin() + at + n)));
  }
}

// A parsed report from the bus trace: "<ms> SET <serial> <hex>".
struct SentReport {
  std::vector<uint8_t> bytes;  // report ID first
  uint8_t command() const { return bytes[1]; }
  uint32_t U32(size_t at) const {
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<uint32_t>(bytes[at + 3]) << 24;
  }
};

std::vector<SentReport> SentReports(sim::Bus& bus) {
  std::vector<SentReport> sent;
  for (const std::string& line : bus.TraceLines()) {
    std::istringstream in(line);
    std::string ms, kind, serial, hex;
    in >> ms >> kind >> serial >> hex;
    if (kind != "SET") continue;
    SentReport report;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
      report.bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    sent.push_back(std::move(report));
  }
  return sent;
}

class FlashProgrammingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::ControllerConfig config;
    config.inBootloader = true;
    controller = &world.bus.Attach(config);
    Session& s = world.session();
    s.connection.reset(s.createInterface());
    ASSERT_EQ(s.connection->ConnectToDevice(0x0488, 0xD0C0, 7, 0), 0);
    s.deviceConnected = true;
    s.firmware.hidDescriptorAddress = 0x0020;
    s.firmware.i2cAddress = 0x2C;
    s.firmware.reportId = 7;
  }

  // Regions: 0 at 0x08002900 (64 bytes), 1 at 0x08000000 (32, skipped),
  // 2 at 0x08003000 (1040), 3 at 0x08004000 (1041), 4 at 0x08005000 (0).
  void LoadShapedImage() {
    std::deque<std::string> lines;
    lines.push_back(Record(4, 0, {0x08, 0x00}));
    AddRun(lines, 0x2900, 64, 1);
    lines.push_back(Record(4, 0, {0x08, 0x00}));
    AddRun(lines, 0x0000, 32, 2);
    AddRun(lines, 0x3000, 1040, 3);
    AddRun(lines, 0x4000, 1040, 4);
    lines.push_back(Record(0, 0x5000, {}));
    lines.push_back(":00000001FF");
    Session& s = world.session();
    s.image = std::make_unique<HexFile>(lines);
    ASSERT_EQ(s.image->Parse(), 0);
    // A patched image may grow a region to an odd length: a write that
    // starts inside the region and runs one byte past its end.
    const uint8_t patch[2] = {0x66, 0x77};
    ASSERT_EQ(s.image->WriteBytes(0x0800440F, patch, 2), 0);
    ASSERT_EQ(s.image->segmentCount(), 5u);
    ASSERT_EQ(s.image->segment(3).data.size(), 1041u);
    ASSERT_EQ(s.image->segment(4).data.size(), 0u);
  }

  bool Program() {
    Session& s = world.session();
    s.inBootloader = true;
    world.bus.ClearTrace();
    PrepareProgressBar(s);
    return ProgramImage(s);
  }

  SessionWorld world;
  sim::Controller* controller = nullptr;
};

TEST_F(FlashProgrammingTest, RegionsAreSkippedChunkedAndFormattedAsTheirRulesSay) {
  LoadShapedImage();
  ASSERT_TRUE(Program()) << world.window().verbose();
  EXPECT_EQ(world.session().UpdateResult, 0);
  EXPECT_FALSE(world.session().inBootloader);

  const std::vector<SentReport> sent = SentReports(world.bus);
  // Format image counts every region, the skipped one too.
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent[0].command(), kCmdFormatImage);
  EXPECT_EQ(sent[0].bytes[3], 5);
  EXPECT_EQ(controller->state().formatImage.regionCount, 5);

  std::vector<std::vector<uint32_t>> formats;  // index, address, length, checksum
  std::vector<std::pair<uint32_t, uint32_t>> chunks;
  for (const SentReport& r : sent) {
    if (r.command() == kCmdFormatRegion)
      formats.push_back({r.bytes[2], r.U32(3), r.U32(7), r.U32(11)});
    if (r.command() == kCmdWriteData) chunks.emplace_back(r.U32(2), r.U32(6));
  }
  ASSERT_EQ(formats.size(), 4u);
  EXPECT_EQ(formats[0][0], 0u);
  EXPECT_EQ(formats[1], (std::vector<uint32_t>{2, 0x08003000, 1040, formats[1][3]}));
  EXPECT_EQ(formats[2][0], 3u);
  EXPECT_EQ(formats[2][2], 1041u);
  EXPECT_EQ(formats[3], (std::vector<uint32_t>{4, 0x08005000, 0, 0xFFFFFFFF}));
  EXPECT_EQ(chunks, (std::vector<std::pair<uint32_t, uint32_t>>{{0x08002900, 64},
                                                                {0x08003000, 520},
                                                                {0x08003208, 520},
                                                                {0x08004000, 520},
                                                                {0x08004208, 520},
                                                                {0x08004410, 1}}));
  // The bootloader took the bytes: the odd last byte is there.
  EXPECT_EQ(controller->ReadFlash(0x08004410, 1), std::vector<uint8_t>{0x77});

  const std::string v = world.window().verbose();
  EXPECT_NE(v.find("Formatting Regions... . Done\r\n\r\nRegion: 1   SKIPPING\r\n"),
            std::string::npos);
  EXPECT_NE(v.find("Region: 1 SKIPPING\r\nRegion: 2 Length: 1040 Bytes Written: 0\r\n"),
            std::string::npos);
  // The empty region gets its summary lines only; the skipped region's bytes
  // keep the last percentage below 100 (2145 of 2177 bytes).
  EXPECT_NE(v.find("Region: 3 Length: 1041 Bytes Written: 1041\r\nUpdate in progress: 98 %\r\n"
                   "Region: 4 Length: 0 Bytes Written: 0\r\nUpdate in progress: 98 %\r\n\r\n"
                   "\r\nDone\r\n"),
            std::string::npos);
  EXPECT_EQ(v.find("Update in progress: 100 %"), std::string::npos);
}

TEST_F(FlashProgrammingTest, RegionsBelowTheImageStartAreSkippedAndTheBootloaderIsUntouched) {
  // After the image start: a record at 0x08000004 and a run that starts 16
  // bytes below the start and reaches into the image.
  std::deque<std::string> lines;
  lines.push_back(Record(4, 0, {0x08, 0x00}));
  AddRun(lines, 0x2900, 64, 1);
  lines.push_back(Record(4, 0, {0x08, 0x00}));
  AddRun(lines, 0x0004, 16, 2);
  AddRun(lines, 0x28F0, 32, 3);
  lines.push_back(":00000001FF");
  Session& s = world.session();
  s.image = std::make_unique<HexFile>(lines);
  ASSERT_EQ(s.image->Parse(), 0);
  ASSERT_EQ(s.image->segmentCount(), 3u);
  const std::vector<uint8_t> bootloader = controller->ReadFlash(0x08000000, 0x2900);

  ASSERT_TRUE(Program()) << world.window().verbose();
  for (const SentReport& r : SentReports(world.bus)) {
    if (r.command() == kCmdFormatRegion) {
      EXPECT_GE(r.U32(3), 0x08002900u);
    }
    if (r.command() == kCmdWriteData) {
      EXPECT_GE(r.U32(2), 0x08002900u);
    }
  }
  EXPECT_EQ(controller->ReadFlash(0x08000000, 0x2900), bootloader);
  const std::string v = world.window().verbose();
  EXPECT_NE(v.find("\r\nRegion: 1   SKIPPING\r\n\r\nRegion: 2   SKIPPING\r\n"), std::string::npos);
  EXPECT_NE(v.find("Region: 1 SKIPPING\r\nRegion: 2 SKIPPING\r\n"), std::string::npos);
}

TEST_F(FlashProgrammingTest, CommandBufferKeepsEarlierFieldsAndPausesAreTaken) {
  LoadShapedImage();
  world.system.virtualClock.ClearSleeps();
  ASSERT_TRUE(Program());
  const std::vector<SentReport> sent = SentReports(world.bus);
  auto flush = std::find_if(sent.begin(), sent.end(),
                            [](const SentReport& r) { return r.command() == kCmdFlush; });
  auto validate = std::find_if(sent.begin(), sent.end(),
                               [](const SentReport& r) { return r.command() == kCmdValidate; });
  ASSERT_NE(flush, sent.end());
  ASSERT_NE(validate, sent.end());
  // Flush writes only its code: the last chunk's address, length and byte
  // are still behind it; validate writes its code and offset 1.
  EXPECT_EQ(flush->U32(2), 0x08004410u);
  EXPECT_EQ(flush->U32(6), 1u);
  EXPECT_EQ(flush->bytes[10], 0x77);
  EXPECT_EQ(validate->bytes[2], 1);
  EXPECT_EQ(validate->bytes[3], 0x44);

  // Erase pauses of 20 ms per started KiB, 2 s before writing, 20 ms after
  // each chunk, flush and validate, 100 ms before the disconnect.
  const std::vector<uint32_t> sleeps = world.system.virtualClock.sleeps();
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 2000u), 1);
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 40u), 2);  // 1040 and 1041 bytes
  EXPECT_EQ(std::count(sleeps.begin(), sleeps.end(), 20u),
            2 + 6 + 2);  // erases, chunks, flush/validate
}

TEST_F(FlashProgrammingTest, ProgressBarRangesStepsAndColour) {
  LoadShapedImage();
  ASSERT_TRUE(Program());
  const std::vector<std::string> events = world.window().events();
  auto at = [&](const std::string& e) {
    return std::find(events.begin(), events.end(), e) - events.begin();
  };
  EXPECT_LT(at("marquee 1007 0"), at("show 1007 0"));
  EXPECT_NE(at("color 1001 41215"), static_cast<long>(events.size()));  // 0x00A0FF
  const long range11 = at("range 1001 11");
  const long range100 = at("range 1001 100");
  const long range8 = at("range 1001 8");
  ASSERT_LT(range11, range100);
  ASSERT_LT(range100, range8);
  auto stepsBetween = [&](long from, long to) {
    return std::count_if(events.begin() + from, events.begin() + to,
                         [](const std::string& e) { return e.rfind("step 1001", 0) == 0; });
  };
  // Format: 3 steps for the image, 4 per formatted region (4 regions).
  EXPECT_EQ(stepsBetween(range11, range100), 3 + 4 * 4);
  // Writing: one per chunk (6) and one per written region (4).
  EXPECT_EQ(stepsBetween(range100, range8), 6 + 4);
  // Flush, validate, the closing step.
  EXPECT_EQ(stepsBetween(range8, static_cast<long>(events.size())), 3);
}

TEST_F(FlashProgrammingTest, AFailedChunkSkipsTheRestOfItsRegionAndValidationCatchesIt) {
  LoadShapedImage();
  // Sets: format image, 4 region formats, then chunk 1 of region 0, chunk 1
  // of region 2 (the 7th set) fails.
  controller->faults().failSetAt = 7;
  EXPECT_FALSE(Program());
  Session& s = world.session();
  const std::string v = world.window().verbose();
  EXPECT_NE(v.find("Region: 2 Length: 1040 Bytes Written: 0\r\nUpdate in progress: 2 %\r\n"
                   "HIDInterface1.WriteFeatureReport Error\r\n"
                   "Region: 2 Length: 1040 Bytes Written: 0\r\n"),
            std::string::npos);
  // Region 3 is still written in full, then validation fails.
  EXPECT_NE(v.find("Region: 3 Length: 1041 Bytes Written: 1041\r\n"), std::string::npos);
  EXPECT_NE(v.find("Validating . . . Done\r\n. Done\r\nERROR...Getting Bootloader status."),
            std::string::npos);
  EXPECT_EQ(s.UpdateResult, 28);
  EXPECT_TRUE(s.retryAdvised);
  EXPECT_TRUE(s.inBootloader);  // the session's ending resets it
}

TEST_F(FlashProgrammingTest, AFailedRegionFormatEndsFormattingButWritingStillStarts) {
  LoadShapedImage();
  controller->faults().failSetAt = 2;  // the format of region 0
  EXPECT_FALSE(Program());
  Session& s = world.session();
  const std::string v = world.window().verbose();
  EXPECT_NE(v.find("Formatting Regions... HIDInterface1.WriteFeatureReport Error\r\nDone\r\n"
                   "Writing Data... \r\nRegion: 0 Length: 64 Bytes Written: 0\r\n"),
            std::string::npos)
      << v;
  // No other region was formatted; the first chunk lands outside any
  // formatted region, which the bootloader refuses, and that ends the walk.
  for (const SentReport& r : SentReports(world.bus)) EXPECT_NE(r.command(), kCmdFormatRegion);
  EXPECT_EQ(v.find("Flushing"), std::string::npos);
  EXPECT_EQ(s.UpdateResult, 28);
  EXPECT_TRUE(s.retryAdvised);
  EXPECT_TRUE(s.inBootloader);
}

TEST_F(FlashProgrammingTest, AFailedFlushAbortsBeforeValidation) {
  LoadShapedImage();
  // Format image, 4 region formats and 6 chunks precede the flush.
  controller->faults().failSetAt = 12;
  EXPECT_FALSE(Program());
  Session& s = world.session();
  const std::string v = world.window().verbose();
  const std::string tail = "Flushing . . . \r\nHIDInterface1.WriteFeatureReport Error\r\n";
  ASSERT_GE(v.size(), tail.size());
  EXPECT_EQ(v.substr(v.size() - tail.size()), tail);
  for (const SentReport& r : SentReports(world.bus)) EXPECT_NE(r.command(), kCmdValidate);
  EXPECT_EQ(s.UpdateResult, 26);
  EXPECT_TRUE(s.retryAdvised);
  EXPECT_TRUE(s.inBootloader);
}

TEST_F(FlashProgrammingTest, FormatImageErrorAbortsBeforeAnyRegion) {
  LoadShapedImage();
  controller->faults().failSetAt = 1;
  EXPECT_FALSE(Program());
  EXPECT_EQ(world.session().UpdateResult, 26);
  EXPECT_TRUE(world.session().retryAdvised);
  EXPECT_NE(world.window().verbose().find("Formatting Image ... HIDInterface1.WriteFeatureReport "
                                          "Error\r\n"),
            std::string::npos);
  for (const SentReport& r : SentReports(world.bus)) EXPECT_NE(r.command(), kCmdFormatRegion);
}

}  // namespace
}  // namespace padflash
