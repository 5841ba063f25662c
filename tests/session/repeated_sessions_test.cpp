// Several update sessions in one program run, as the dialog allows them:
// Execute again on the same window, or Refresh and then Execute. What one
// session leaves behind (a deleted personality file, a controller that now
// runs its firmware) must not make the next one program the firmware's
// defaults over the factory comp table.
#include <gtest/gtest.h>

#include "tests/session/session_setup.h"
#include "update/bootloader_protocol.h"
#include "update/update_session.h"

namespace padflash {
namespace {

using testing::SessionWorld;

constexpr uint32_t kT = 480;

class RepeatedSessionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::ControllerConfig config;
    config.feedConfig1 = 0x3C;
    controller = &world.bus.Attach(config);
    compTable = Page(0, kT);
    factoryValues = Page(kT + 72, 3);
    fwgen::FirmwareBuild build;
    build.revision = 0x06;
    build.codeBytes = 0x1000;
    world.WriteFirmwareFile(build);
  }

  std::vector<uint8_t> Page(uint32_t offset, size_t count) {
    return controller->ReadFlash(kFactoryPageAddress + offset, count);
  }

  // The comp table and the factory values are the controller's own, and it
  // runs the new firmware.
  void ExpectCalibrationKept(const char* after) {
    SCOPED_TRACE(after);
    EXPECT_FALSE(controller->inBootloader());
    EXPECT_EQ(controller->runningRevision(), 0x06);
    EXPECT_EQ(Page(0, kT), compTable);
    EXPECT_EQ(Page(kT + 72, 3), factoryValues);
    EXPECT_EQ(world.window().verbose().find("Invalid Personality File"), std::string::npos);
  }

  // An interrupted update leaves the controller in its bootloader and its
  // page in a personality file; then the program is started again.
  void StrandInBootloader() {
    ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
    controller->faults().bootloaderErrorAfterChunk = 2;
    ASSERT_EQ(UpdateThread(world.session()), kExitFailure);
    ASSERT_TRUE(controller->inBootloader());
    ASSERT_EQ(world.dir.PersonalityFiles().size(), 1u);
    world.Restart();
    world.system.utcNow.hour = 11;
  }

  SessionWorld world;
  sim::Controller* controller = nullptr;
  std::vector<uint8_t> compTable;
  std::vector<uint8_t> factoryValues;
};

TEST_F(RepeatedSessionsTest, RecoveryFromTheBootloaderThenExecuteAgainThenRefreshAndExecute) {
  StrandInBootloader();
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  ASSERT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised) << world.window().verbose();
  ExpectCalibrationKept("the recovery from the personality file");
  ASSERT_TRUE(world.dir.PersonalityFiles().empty());

  // Execute again: the controller now runs its firmware and is read again.
  const size_t before = world.window().verbose().size();
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised) << world.window().verbose();
  const std::string second = world.VerboseSince(before);
  EXPECT_NE(second.find("Getting Device Factory Settings...\r\n"), std::string::npos) << second;
  ExpectCalibrationKept("Execute again");

  // Refresh, then Execute: the preparation finds the running firmware too.
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  EXPECT_FALSE(world.session().bootloaderMode);
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccessRetryAdvised) << world.window().verbose();
  ExpectCalibrationKept("Refresh and Execute");
  EXPECT_TRUE(world.dir.PersonalityFiles().empty());
}

TEST_F(RepeatedSessionsTest, APersonalityFileUsedOnceIsNotLookedForByTheNextSession) {
  // A file of this controller's page left by an earlier run: the preparation
  // takes it instead of reading the device.
  testing::WorkingDirectory::WriteFile("sf20150810_090000.mem", Page(0, 1024));
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();
  ASSERT_FALSE(world.session().readConfigFromDevice);
  ASSERT_EQ(UpdateThread(world.session()), kExitSuccess) << world.window().verbose();
  ExpectCalibrationKept("the session that used the file");
  ASSERT_TRUE(world.dir.PersonalityFiles().empty());

  EXPECT_EQ(UpdateThread(world.session()), kExitSuccess) << world.window().verbose();
  ExpectCalibrationKept("Execute again");
}

}  // namespace
}  // namespace padflash
