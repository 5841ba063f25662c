// Whole update sessions against the simulated controller.
#include "update/update_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/session/session_setup.h"
#include "update/bootloader_protocol.h"
#include "update/factory_block.h"

#ifndef PADFLASH_SESSION_GOLDEN_DIR
#error "PADFLASH_SESSION_GOLDEN_DIR must name tests/session/golden"
#endif

namespace padflash {
namespace {

using testing::SessionWorld;

constexpr uint32_t kT = 480;

std::string Golden(const std::string& name) {
  std::ifstream file(std::string(PADFLASH_SESSION_GOLDEN_DIR) + "/" + name, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

// Writes the transcript next to the build when PADFLASH_WRITE_GOLDEN is set,
// so a changed transcript can be read and then committed by hand.
void MaybeWriteGolden(const std::string& name, const std::string& text) {
  if (getenv("PADFLASH_WRITE_GOLDEN") == nullptr) return;
  std::ofstream(std::string(PADFLASH_SESSION_GOLDEN_DIR) + "/" + name, std::ios::binary) << text;
}

class UpdateSessionTest : public ::testing::Test {
 protected:
  sim::ControllerConfig controllerConfig() {
    sim::ControllerConfig c;
    c.vendorId = 0x0488;
    c.productId = 0x0101;
    c.chipId = 0x12;
    c.revision = 0x05;
    c.feedConfig1 = 0x3C;
    c.serial = "SIM0001";
    return c;
  }
  fwgen::FirmwareBuild newFirmware() {
    fwgen::FirmwareBuild build;
    build.vendorId = 0x0488;
    build.productId = 0x0101;
    build.chipId = 0x12;
    build.revision = 0x06;
    build.feedConfig1 = 0x5A;
    build.codeBytes = 0x2000;
    build.seed = 7;
    return build;
  }

  SessionWorld world;
};

TEST_F(UpdateSessionTest, SuccessfulUpdateOfARunningController) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  const std::vector<uint8_t> compTable = c.ReadFlash(kFactoryPageAddress, kT);
  const std::vector<uint8_t> factoryValues = c.ReadFlash(kFactoryPageAddress + kT + 72, 3);
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();

  const size_t before = world.window().verbose().size();
  const int result = UpdateThread(world.session());
  const std::string transcript = world.VerboseSince(before);
  MaybeWriteGolden("successful_update.txt", transcript);

  EXPECT_EQ(result, kExitSuccess);
  EXPECT_EQ(world.session().UpdateResult, 0);
  EXPECT_EQ(world.window().status(), "Firmware was successfully updated to version: 12.6\r\n");
  EXPECT_EQ(transcript, Golden("successful_update.txt"));

  // The controller runs the new firmware.
  EXPECT_FALSE(c.inBootloader());
  EXPECT_EQ(c.runningChipId(), 0x12);
  EXPECT_EQ(c.runningRevision(), 0x06);
  // Its factory comp table is the original, its new structure carries the
  // access offset at T + 68 and the three factory bytes at T + 72.
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress, kT), compTable);
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress + kT + 68, 4),
            (std::vector<uint8_t>{0x34, 0x3F, 0xFF, 0x1F}));
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress + kT + 72, 3), factoryValues);
  // FeedConfig1 was written back into RAM (the new defaults say 0x5A).
  EXPECT_EQ(c.feedConfig1(), 0x3C);
  EXPECT_NE(transcript.find("FeedConfig1 reads:0x3C\r\n"), std::string::npos);
  // The personality file is gone; the inputs are enabled again.
  EXPECT_TRUE(world.dir.PersonalityFiles().empty());
  EXPECT_TRUE(world.window().IsEnabled(kIdExecute));
  EXPECT_FALSE(world.system.IsNamedMutexHeld(kSessionMutexName));
}

TEST_F(UpdateSessionTest, BootloaderErrorAfterADataChunkThenASecondRunRestoresFromTheFile) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  const std::vector<uint8_t> originalPage = c.ReadFlash(kFactoryPageAddress, 1024);
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  c.faults().bootloaderErrorAfterChunk = 3;

  size_t before = world.window().verbose().size();
  EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
  std::string transcript = world.VerboseSince(before);
  EXPECT_EQ(world.session().UpdateResult, 28);
  EXPECT_EQ(world.window().status(), "ERROR: Bootloader error.");
  // Three chunks went out; the error stopped the walk before flush.
  EXPECT_NE(transcript.find("Bytes Written: 1040\r\nUpdate in progress: 11 %\r\n. Done\r\n"
                            "ERROR...\r\nGetting Bootloader status."),
            std::string::npos);
  EXPECT_EQ(transcript.find("Flushing"), std::string::npos);
  // The ending reset the bootloader and found it again.
  EXPECT_NE(transcript.find("\r\nResetting...Done\r\n"), std::string::npos);
  EXPECT_EQ(transcript.find("ERROR reconnecting"), std::string::npos);
  const std::string ending =
      "Disconnecting from device... \r\nDone\r\n"
      "The Firmware update was NOT completed\r\nPlease try again\r\n";
  EXPECT_EQ(transcript.substr(transcript.size() - ending.size()), ending);
  ASSERT_FALSE(world.window().messageBoxes().empty());
  EXPECT_EQ(world.window().messageBoxes().back().caption, "FW Update Incomplete");
  EXPECT_FALSE(world.window().IsVisible(kIdExecute));
  // The controller is left in its bootloader; the personality file stays.
  EXPECT_TRUE(c.inBootloader());
  EXPECT_FALSE(c.imageValid());
  ASSERT_EQ(world.dir.PersonalityFiles(), std::vector<std::string>{"sf20150811_101010.mem"});

  // The program is run again: it finds the bootloader and the file.
  world.Restart();
  world.system.utcNow.hour = 11;
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  EXPECT_TRUE(world.session().bootloaderMode);
  EXPECT_TRUE(world.session().usePersonalityFile);
  before = world.window().verbose().size();
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised);
  transcript = world.VerboseSince(before);
  EXPECT_EQ(world.session().UpdateResult, 0);
  EXPECT_NE(transcript.find("Opened Factory File: sf20150811_101010.mem\r\n"), std::string::npos);
  EXPECT_EQ(transcript.find("Invalid Personality File"), std::string::npos);
  EXPECT_NE(transcript.find("Firmware was successfully updated to version: 12.6\r\nDone\r\n"),
            std::string::npos);
  // A result other than 0 puts the result text on the status line.
  EXPECT_EQ(world.window().status(), "Firmware was successfully updated.");

  // Running the new firmware with the factory comp table and factory bytes
  // from the file; nothing is left to restore from.
  EXPECT_FALSE(c.inBootloader());
  EXPECT_EQ(c.runningRevision(), 0x06);
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress, kT),
            std::vector<uint8_t>(originalPage.begin(), originalPage.begin() + kT));
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress + kT + 72, 3),
            std::vector<uint8_t>(originalPage.begin() + kT + 72, originalPage.begin() + kT + 75));
  EXPECT_TRUE(world.dir.PersonalityFiles().empty());
}

TEST_F(UpdateSessionTest, ControllerGoneBeforeExecuteLeavesTheConnectErrorOnTheStatusLine) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  world.bus.Detach(c.serial());

  EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
  EXPECT_EQ(world.session().UpdateResult, 17);
  EXPECT_EQ(world.window().status(), "ERROR: Cannot connect to device.");
  EXPECT_TRUE(world.window().IsEnabled(kIdExecute));
  EXPECT_FALSE(world.system.IsNamedMutexHeld(kSessionMutexName));
}

TEST_F(UpdateSessionTest, ControllerAlreadyInItsBootloaderEndsWith3010) {
  sim::ControllerConfig config = controllerConfig();
  config.inBootloader = true;
  sim::Controller& c = world.bus.Attach(config);
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  const size_t before = world.window().verbose().size();
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised);
  const std::string transcript = world.VerboseSince(before);
  // The session's discovery reports the bootloader after the status without
  // a line end.
  EXPECT_NE(transcript.find("  Force: False\r\n Bootloader connectedDone\r\n"), std::string::npos)
      << transcript;
  EXPECT_EQ(transcript.find("Getting Access Offset Address"), std::string::npos);
  EXPECT_EQ(transcript.find("Getting New Firmware ID"), std::string::npos);
  EXPECT_EQ(transcript.find("Restoring Factory config"), std::string::npos);
  EXPECT_EQ(world.session().UpdateResult, 0);
  EXPECT_FALSE(c.inBootloader());
  EXPECT_EQ(c.runningRevision(), 0x06);
}

TEST_F(UpdateSessionTest, NewFirmwareThatNeverAnswersCountsAsDoneWithARetryAdvised) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0);
  c.faults().noReturnAfterReset = true;
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised);
  const std::string v = world.window().verbose();
  EXPECT_NE(v.find("\r\n  Unable to reconnect to touchpad device\r\n"), std::string::npos);
  EXPECT_EQ(v.find("Getting New Firmware ID"), std::string::npos);
  EXPECT_EQ(v.find("Restoring FeedConfig1"), std::string::npos);
  EXPECT_TRUE(world.session().bootloaderMode);
  EXPECT_TRUE(world.session().config.overrideCompatibility);
  EXPECT_TRUE(c.imageValid());
}

// The reset after validation does not reach the bootloader, so the new
// firmware never answers: the session counts as done, with a retry advised,
// but the personality file stays until the new firmware has been seen; the
// next run finds the bootloader and restores from it.
TEST_F(UpdateSessionTest, NewFirmwareThatNeverAnsweredKeepsThePersonalityFileForTheNextRun) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  const std::vector<uint8_t> compTable = c.ReadFlash(kFactoryPageAddress, kT);
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  world.bus.SetBeforeAccessHook([&] {
    if (world.window().verbose().find("Validating . . . Done") != std::string::npos) {
      c.faults().failSetAt = 1;  // the next SET is the reset
      world.bus.SetBeforeAccessHook({});
    }
  });
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised);
  EXPECT_NE(world.window().verbose().find("Unable to reconnect to touchpad device"),
            std::string::npos);
  ASSERT_TRUE(c.inBootloader());
  EXPECT_EQ(world.window().verbose().find("Deleting temp config file"), std::string::npos);
  ASSERT_EQ(world.dir.PersonalityFiles().size(), 1u);

  world.Restart();
  world.system.utcNow.hour = 11;
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised) << world.window().verbose();
  EXPECT_NE(world.window().verbose().find("Opened Factory File: "), std::string::npos);
  EXPECT_EQ(c.runningRevision(), 0x06);
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress, kT), compTable);
  EXPECT_TRUE(world.dir.PersonalityFiles().empty());
}

// The technician keeps a personality file that turns out unusable (here
// empty): a controller that runs its firmware is read instead, so its
// calibration does not give way to the firmware's defaults.
TEST_F(UpdateSessionTest, AnUnusablePersonalityFileGivesWayToTheRunningController) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  const std::vector<uint8_t> compTable = c.ReadFlash(kFactoryPageAddress, kT);
  testing::WorkingDirectory::WriteFile("sf20150810_090000.mem", {});
  world.WriteFirmwareFile(newFirmware());
  world.window().QueueAnswer(MessageAnswer::kNo);  // keep the file and use it
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccess) << world.window().verbose();
  const std::string v = world.window().verbose();
  const size_t invalid = v.find("Invalid Personality File: sf20150810_090000.mem\r\n");
  ASSERT_NE(invalid, std::string::npos) << v;
  const size_t read = v.find("Getting Device Factory Settings...\r\n", invalid);
  ASSERT_NE(read, std::string::npos) << v;
  EXPECT_NE(v.find("Restoring Factory config...\r\n", read), std::string::npos);
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress, kT), compTable);
  EXPECT_EQ(c.feedConfig1(), 0x3C);
  EXPECT_TRUE(world.dir.PersonalityFiles().empty());
}

TEST_F(UpdateSessionTest, FailedFeedConfig1ReadBackEndsAnUpdatedDeviceWithMinusOne) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  // Every memory read after the FeedConfig1 write-back fails its checksum.
  world.bus.SetBeforeAccessHook([&] {
    const std::string v = world.window().verbose();
    const std::string written = "Restoring FeedConfig1 . . .\r\nWriting Memory Addresses...\r\n";
    if (v.find(written) != std::string::npos) c.faults().corruptEveryReadReply = true;
  });
  const size_t before = world.window().verbose().size();
  EXPECT_EQ(UpdateThread(world.session()), kExitClosingStepFailed);
  const std::string transcript = world.VerboseSince(before);
  EXPECT_EQ(world.session().UpdateResult, 6);
  EXPECT_NE(transcript.find("ERROR - Cannot read memory location\r\n"
                            "FeedConfig1 reads:0x0\r\nDone\r\n"
                            "Disconnecting from device... \r\nDone\r\n"
                            "Firmware was successfully updated to version: 12.6\r\nDone\r\n"),
            std::string::npos)
      << transcript;
  // The update itself is done, but the closing step failed: the file stays,
  // the result text and the rerun box are shown.
  EXPECT_EQ(c.runningRevision(), 0x06);
  EXPECT_EQ(world.dir.PersonalityFiles().size(), 1u);
  ASSERT_FALSE(world.window().messageBoxes().empty());
  EXPECT_EQ(world.window().messageBoxes().back().caption, "FW Update Incomplete");
  EXPECT_EQ(world.window().status(), "ERROR: Cannot read memory location.");
}

TEST_F(UpdateSessionTest, BootloaderThatNeverAnswersAfterTheInvoke) {
  sim::Controller& c = world.bus.Attach(controllerConfig());
  world.WriteFirmwareFile(newFirmware());
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  c.faults().noReturnAfterInvoke = true;
  const size_t before = world.window().verbose().size();
  EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
  const std::string v = world.VerboseSince(before);
  const size_t refusal =
      v.find(" - Could not find Bootloader\r\nERROR Invoking the bootloader\r\n");
  ASSERT_NE(refusal, std::string::npos) << v;
  // The ending resets, then looks for the bootloader of the USB device in vain
  // and closes nothing.
  const std::string ending =
      "\r\nResetting...Done\r\n"
      "ERROR reconnecting to bootloaderdevice\r\n"
      "The Firmware update was NOT completed\r\nPlease try again\r\n";
  ASSERT_GE(v.size(), ending.size());
  EXPECT_EQ(v.substr(v.size() - ending.size()), ending);
  EXPECT_EQ(world.session().UpdateResult, 23);
  EXPECT_FALSE(world.session().deviceConnected);
  EXPECT_FALSE(world.window().IsVisible(kIdMarquee));
  EXPECT_FALSE(world.window().progress(kIdMarquee).marquee);
  EXPECT_EQ(world.dir.PersonalityFiles().size(), 1u);
}

TEST_F(UpdateSessionTest, I2cControllerIsUpdatedThroughItsOwnImageLayout) {
  sim::ControllerConfig config = controllerConfig();
  config.i2c = true;
  sim::Controller& c = world.bus.Attach(config);
  const std::vector<uint8_t> compTable = c.ReadFlash(kFactoryPageAddress, kT);
  fwgen::FirmwareBuild build = newFirmware();
  build.i2c = true;
  world.WriteFirmwareFile(build);
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccess) << world.window().verbose();
  EXPECT_NE(world.window().verbose().find("  New Firmware ID: 0x1206\r\n"), std::string::npos);
  EXPECT_EQ(c.runningRevision(), 0x06);
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress, kT), compTable);
  EXPECT_EQ(c.feedConfig1(), 0x3C);
}

}  // namespace
}  // namespace padflash
