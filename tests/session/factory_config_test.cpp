// The restore step on an image in memory, and the save step's refusal of an
// invalid factory block.
#include "update/factory_config.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/session/session_setup.h"
#include "update/bootloader_protocol.h"
#include "update/factory_block.h"
#include "update/update_session.h"

namespace padflash {
namespace {

using testing::SessionWorld;

constexpr uint32_t kT = 480;
constexpr uint32_t kConfig = 0x080029C0;  // USB build
constexpr uint32_t kOffset = 0x1FFF3D54 + kT;

std::unique_ptr<HexFile> ImageOf(const fwgen::FirmwareBuild& build) {
  std::deque<std::string> lines;
  std::istringstream text(fwgen::ToIntelHex(fwgen::GenerateFirmware(build)));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  auto image = std::make_unique<HexFile>(lines);
  EXPECT_EQ(image->Parse(), 0);
  return image;
}

std::vector<uint8_t> Read(const HexFile& image, uint32_t address, int count) {
  std::vector<uint8_t> bytes(static_cast<size_t>(count));
  EXPECT_EQ(image.ReadBytes(address, bytes.data(), count), 0);
  return bytes;
}

class RestoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fwgen::FirmwareBuild build;
    build.revision = 0x06;
    build.codeBytes = 0x1000;
    Session& s = world.session();
    s.image = ImageOf(build);
    defaults = Read(*s.image, kConfig, 1024 - kT);
    s.firmware.isI2C = 0;
    s.CompTableSize = kT;
    s.AccessOffset = kOffset;
    s.defaultConfigInstructions = DefaultConfigInstructions();
    // The device's saved page: its comp table, a structure of its own.
    for (uint32_t i = 0; i < 1024; ++i) s.factoryBlock[i] = static_cast<uint8_t>(i * 5 + 3);
    PutOffset(s.factoryBlock.data() + kT + 68, kOffset);
    s.factoryBlock[kT + 72] = 0xB1;
    s.factoryBlock[kT + 73] = 0xB2;
    s.factoryBlock[kT + 74] = 0xB3;
    s.factoryEnd = static_cast<int>(kT + fwgen::kStructSize);
  }
  static void PutOffset(uint8_t* at, uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
  }
  std::vector<uint8_t> Page() { return Read(*world.session().image, kFactoryPageAddress, 1024); }

  SessionWorld world;
  std::vector<uint8_t> defaults;  // the image's 1024 - T bytes at its structure
};

TEST_F(RestoreTest, DefaultInstructionsGiveCompTableDefaultsOffsetAndFactoryBytes) {
  Session& s = world.session();
  ASSERT_TRUE(RestoreFactoryConfig(s)) << world.window().verbose();
  const std::vector<uint8_t> page = Page();
  EXPECT_TRUE(std::equal(page.begin(), page.begin() + kT, s.factoryBlock.begin()));
  // The search starts where the saved structure ended, so the image's own
  // marker is passed and all 1024 - T bytes are taken.
  std::vector<uint8_t> expected = defaults;
  PutOffset(expected.data() + 68, kOffset);
  expected[72] = 0xB1;
  expected[73] = 0xB2;
  expected[74] = 0xB3;
  EXPECT_EQ(std::vector<uint8_t>(page.begin() + kT, page.end()), expected);
  EXPECT_EQ(s.firmware.configInstructions.front().lengthOrValue, kT);  // changed in place
  EXPECT_EQ(world.window().verbose(),
            "Restoring Factory config...\r\n"
            "it appears we got to the end of the ImageConfig and didn't find any Sentinals: "
            "DEFC\r\n"
            "Using Factory Instructions\r\n   Done\r\n"
            "Restoring factory settings ... \r\nDone\r\n");
}

TEST_F(RestoreTest, ImageMarkerAfterTheSavedEndLimitsTheStructure) {
  Session& s = world.session();
  s.factoryEnd = static_cast<int>(kT + 0x40);
  ASSERT_TRUE(RestoreFactoryConfig(s));
  const std::vector<uint8_t> page = Page();
  const size_t n = fwgen::kStructSize;  // up to and with the image's marker
  EXPECT_EQ(page[kT + n - 2], 0xFC);
  EXPECT_EQ(page[kT + n - 1], 0xDE);
  // Past the structure the page keeps the firmware's default page bytes.
  EXPECT_EQ(world.window().verbose().find("it appears"), std::string::npos);
}

TEST_F(RestoreTest, MarkerSearchStopsAtTheEndOfTheImageBuffer) {
  // A first marker byte as the very last byte of the 1024 - T bytes read:
  // its partner would lie past the buffer (the sanitizer build catches a
  // read there).
  Session& s = world.session();
  const uint8_t lead = 0xFC;
  ASSERT_EQ(s.image->WriteBytes(kConfig + 1023 - kT, &lead, 1), 0);
  s.factoryEnd = 1024 - 4;
  ASSERT_TRUE(RestoreFactoryConfig(s));
  EXPECT_NE(world.window().verbose().find("it appears we got to the end of the ImageConfig"),
            std::string::npos);
}

TEST_F(RestoreTest, PackageInstructionsApplyWithTheirLengthsAdjusted) {
  Session& s = world.session();
  s.packageLoaded = true;
  s.firmware.firmwareLines = {":00000001FF"};
  s.factoryEnd = static_cast<int>(kT + 0x40);  // image structure found: n = 0xF2
  s.firmware.configInstructions = {
      {0x0800FC00, 0x0800FC00, 'c', 480},
      {0x0800FC00, 0x0800FC00, 'c', 512},
      {0xC2D0, 0xC2E0, 'c', 2},
      {0x0800FC05, 0, 's', 0x1A7},
      {0x0800FC06, 0, 'x', 9},
  };
  ASSERT_TRUE(RestoreFactoryConfig(s)) << world.window().verbose();
  EXPECT_EQ(s.firmware.configInstructions[0].lengthOrValue, kT);
  EXPECT_EQ(s.firmware.configInstructions[1].lengthOrValue, fwgen::kStructSize - 2);
  const std::vector<uint8_t> page = Page();
  // The saved structure without its marker replaces the defaults...
  EXPECT_TRUE(std::equal(page.begin() + kT, page.begin() + kT + 0x10, s.factoryBlock.begin() + kT));
  // ...then RAM 0xC2E0.. is copied to 0xC2D0.., and one byte is set.
  EXPECT_EQ(page[kT + 0x10], s.factoryBlock[kT + 0x20]);
  EXPECT_EQ(page[kT + 0x11], s.factoryBlock[kT + 0x21]);
  EXPECT_EQ(page[5], 0xA7);
  EXPECT_EQ(page[6], s.factoryBlock[6]);  // the unknown kind changed nothing
  EXPECT_NE(world.window().verbose().find("   Using Config Instructions from DLL\n"),
            std::string::npos);
  EXPECT_EQ(world.window().verbose().find("Using Factory Instructions"), std::string::npos);
}

TEST_F(RestoreTest, CopyOutsideTheSavedPageIsRefused) {
  Session& s = world.session();
  s.packageLoaded = true;
  s.firmware.firmwareLines = {":00000001FF"};
  // 0xC2C0 + 600 lies past the page for T = 480.
  s.firmware.configInstructions = {{0xC2C0, 0xC2C0 + 600, 'c', 4}};
  EXPECT_FALSE(RestoreFactoryConfig(s));
  EXPECT_EQ(s.UpdateResult, 16);
  EXPECT_TRUE(s.retryAdvised);
  s.UpdateResult = 0;
  s.firmware.configInstructions = {{0xC2B0, 0xC2C0, 'c', 4}};  // below the mirror
  EXPECT_FALSE(RestoreFactoryConfig(s));
  EXPECT_EQ(s.UpdateResult, 16);
}

TEST(SaveStep, AnInvalidFactoryBlockIsNotSavedAndTheSessionEndsWith19) {
  SessionWorld world;
  sim::Controller& c = world.bus.Attach(sim::ControllerConfig{});
  c.state().flash[kFactoryPageAddress - kFlashBase + kT + 72] = 0;  // a factory byte lost
  fwgen::FirmwareBuild build;
  build.revision = 0x06;
  build.codeBytes = 0x1000;
  world.WriteFirmwareFile(build);
  ASSERT_EQ(world.Prepare(), 0);
  EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
  EXPECT_EQ(world.session().UpdateResult, 19);
  const std::string v = world.window().verbose();
  EXPECT_NE(v.find("Saving Factory Config TempFile: \r\n"
                   "ERROR - Could not save temp factory config file: \r\n"
                   "ERROR - attempted output file is all zeros: \r\n"),
            std::string::npos);
  EXPECT_EQ(v.find("Invoking Bootloader"), std::string::npos);
  EXPECT_TRUE(world.dir.PersonalityFiles().empty());
  EXPECT_FALSE(c.inBootloader());
  EXPECT_EQ(c.runningRevision(), 0x05);
}

// The save step keeps the device's page up to its first end marker at or
// after T; a session that fails later leaves that file behind.
TEST(SaveStep, PersonalityFileEndsAtTheDevicesEndMarkerOrTakesTheWholePage) {
  for (const bool withMarker : {true, false}) {
    SessionWorld world;
    sim::Controller& c = world.bus.Attach(sim::ControllerConfig{});
    uint8_t* page = c.state().flash.data() + (kFactoryPageAddress - kFlashBase);
    for (uint32_t i = kT; i < 1024; ++i) {
      const bool lead = page[i] == 0xFC || page[i] == 0xAC;
      if (lead && i + 1 < 1024 && (page[i + 1] == 0xDE || page[i + 1] == 0xF1)) page[i] = 0;
    }
    if (withMarker) {
      page[600] = 0xFC;
      page[601] = 0xDE;
    }
    fwgen::FirmwareBuild build;
    build.revision = 0x06;
    build.codeBytes = 0x1000;
    world.WriteFirmwareFile(build);
    ASSERT_EQ(world.Prepare(), 0);
    c.faults().bootloaderErrorAfterChunk = 1;
    EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
    ASSERT_EQ(world.dir.PersonalityFiles().size(), 1u);
    const std::vector<uint8_t> file =
        testing::WorkingDirectory::ReadFile(world.dir.PersonalityFiles()[0]);
    EXPECT_EQ(file.size(), withMarker ? 602u : 1024u);
    const bool noticed = world.window().verbose().find(
                             "\nit appears we got to the end of the FactoryConfig and didn't find "
                             "any Sentinals: DEFC\r\n") != std::string::npos;
    EXPECT_EQ(noticed, !withMarker);
  }
}

}  // namespace
}  // namespace padflash
