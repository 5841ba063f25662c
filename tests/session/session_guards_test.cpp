// The guards around an update session: power, the session mutex, keeping
// the computer awake, the verbose pane's size, the disabled inputs, and the
// /r switch.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/session/session_setup.h"
#include "update/bootloader_protocol.h"
#include "update/update_session.h"

namespace padflash {
namespace {

using testing::SessionWorld;

constexpr uint32_t kKeepAwake = kEsContinuous | kEsSystemRequired | kEsAwayModeRequired;
constexpr uint32_t kKeepAwakeFallback = kEsContinuous | kEsSystemRequired | kEsDisplayRequired;

PowerStatus OnBattery(uint8_t flag, int32_t seconds) {
  return PowerStatus{0, flag, seconds};
}

class PowerGuardTest : public ::testing::Test {
 protected:
  int Check(const PowerStatus& status) {
    world.system.power = status;
    return CheckPowerSource(world.session());
  }
  std::string Printed() { return world.window().verbose(); }

  SessionWorld world;
};

TEST_F(PowerGuardTest, AcOnlineOrUnknownOrNoAnswerPassesSilently) {
  EXPECT_EQ(Check(PowerStatus{1, 0, 60}), 0);
  EXPECT_EQ(Check(PowerStatus{255, 0, 60}), 0);
  world.system.powerQueryWorks = false;
  EXPECT_EQ(CheckPowerSource(world.session()), 0);
  EXPECT_EQ(Printed(), "");
}

TEST_F(PowerGuardTest, NoCapacityFlagAndLessThanTwentyMinutesIsRefused) {
  EXPECT_EQ(Check(OnBattery(0, 19 * 60)), kExitFailure);
  EXPECT_EQ(world.session().UpdateResult, 27);
  EXPECT_EQ(Printed(),
            "WARNING AC : 0 AC Power not Online\r\n"
            "WARNING Battery Flag: 0 Not High battery capacity remaining or Not Charging\r\n"
            "CRITICAL ERROR Battery LifeTime: 1140 Less than 20 minutes of battery life "
            "remaining\r\n");
  EXPECT_EQ(world.window().status(),
            "WARNING Battery Flag: 0 Not High battery capacity remaining or Not Charging\r\n");
}

TEST_F(PowerGuardTest, TwentyMinutesOrAnUnknownLifeTimeIsEnough) {
  EXPECT_EQ(Check(OnBattery(0, 20 * 60)), 0);
  EXPECT_EQ(Check(OnBattery(0, -1)), 0);
  EXPECT_EQ(world.session().UpdateResult, 0);
}

TEST_F(PowerGuardTest, LowOrCriticalWithoutChargingGoesOnToTheLifeTimeTest) {
  EXPECT_EQ(Check(OnBattery(kBatteryLow, 300)), kExitFailure);
  EXPECT_NE(Printed().find("WARNING Battery Flag: 2 Not High"), std::string::npos);
  EXPECT_EQ(Check(OnBattery(kBatteryCritical, 300)), kExitFailure);
  EXPECT_NE(Printed().find("WARNING Battery Flag: 4 Not High"), std::string::npos);
  EXPECT_EQ(Check(OnBattery(kBatteryLow, 3600)), 0);
}

TEST_F(PowerGuardTest, HighChargingNoBatteryAndUnknownPass) {
  for (uint8_t flag :
       {kBatteryHigh, static_cast<uint8_t>(kBatteryLow | kBatteryCharging),
        static_cast<uint8_t>(kBatteryCritical | kBatteryCharging), kBatteryNone, kBatteryUnknown}) {
    EXPECT_EQ(Check(OnBattery(flag, 60)), 0) << "flag " << int{flag};
  }
  EXPECT_EQ(Printed().find("Battery Flag"), std::string::npos);
}

class SessionGuardTest : public ::testing::Test {
 protected:
  sim::Controller& AttachAndPrepare() {
    sim::ControllerConfig config;
    config.feedConfig1 = 0x3C;
    sim::Controller& c = world.bus.Attach(config);
    fwgen::FirmwareBuild build;
    build.revision = 0x06;
    build.codeBytes = 0x1000;
    world.WriteFirmwareFile(build);
    EXPECT_EQ(world.Prepare(), 0) << world.window().verbose();
    return c;
  }

  SessionWorld world;
};

TEST_F(SessionGuardTest, WeakBatteryStopsTheSessionBeforeAnythingElse) {
  world.system.power = OnBattery(0, 19 * 60);
  EXPECT_EQ(UpdateThread(world.session()), kExitLowBattery);
  EXPECT_EQ(world.session().UpdateResult, 27);
  EXPECT_EQ(world.window().status(), "ERROR: Not enough battery power to complete the operation.");
  EXPECT_TRUE(world.system.executionStates.empty());
  EXPECT_EQ(world.window().verbose().find("****"), std::string::npos);
  EXPECT_TRUE(world.window().IsEnabled(kIdExecute));
}

TEST_F(SessionGuardTest, TwentyMinutesOnBatteryRunsTheUpdate) {
  sim::Controller& c = AttachAndPrepare();
  world.system.power = OnBattery(0, 20 * 60);
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccess);
  EXPECT_EQ(c.runningRevision(), 0x06);
}

TEST_F(SessionGuardTest, BatteryFailingAfterTheInvokeEndsWithTheBootloaderReset) {
  sim::Controller& c = AttachAndPrepare();
  world.system.upcoming = {PowerStatus{1, 1, -1}, OnBattery(kBatteryCritical, 240)};
  EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
  EXPECT_EQ(world.session().UpdateResult, 27);
  const std::string v = world.window().verbose();
  const size_t refusal = v.find("CRITICAL ERROR Battery LifeTime: 240");
  ASSERT_NE(refusal, std::string::npos);
  EXPECT_LT(v.find("Checking InBootloader"), refusal);
  EXPECT_NE(v.find("\r\nResetting...Done\r\n", refusal), std::string::npos);
  EXPECT_EQ(v.find("Formatting Image"), std::string::npos);
  // The refusal advises no retry: the ending closes without "Please try again".
  const std::string ending = "The Firmware update was NOT completed\r\n";
  ASSERT_GE(v.size(), ending.size());
  EXPECT_EQ(v.substr(v.size() - ending.size()), ending);
  // Nothing was formatted: the old firmware starts again, and the
  // personality file is kept.
  EXPECT_FALSE(c.inBootloader());
  EXPECT_EQ(c.runningRevision(), 0x05);
  EXPECT_EQ(world.dir.PersonalityFiles().size(), 1u);
}

TEST_F(SessionGuardTest, AnotherSessionHoldingTheMutexIsRefused) {
  auto other = world.system.AcquireNamedMutex(kSessionMutexName);
  ASSERT_TRUE(other);
  EXPECT_EQ(RunUpdateSession(world.session()), kExitFailure);
  EXPECT_EQ(world.session().UpdateResult, 2);
  EXPECT_EQ(world.window().verbose(),
            "BEGIN FW Update\r\nAnother instance of this utility is already running.\r\n");
  EXPECT_EQ(world.window().status(), "Another instance of this utility is already running.\r\n");
  EXPECT_TRUE(world.system.executionStates.empty());
}

TEST_F(SessionGuardTest, TheMutexIsHeldForTheSessionAndTheComputerKeptAwake) {
  AttachAndPrepare();
  bool heldDuringSession = false;
  world.bus.SetBeforeAccessHook(
      [&] { heldDuringSession |= world.system.IsNamedMutexHeld(kSessionMutexName); });
  EXPECT_EQ(UpdateThread(world.session()), kExitSuccess);
  EXPECT_TRUE(heldDuringSession);
  EXPECT_FALSE(world.system.IsNamedMutexHeld(kSessionMutexName));
  EXPECT_EQ(world.system.executionStates, (std::vector<uint32_t>{kKeepAwake, kEsContinuous}));
  EXPECT_EQ(world.window().verbose().find("WARNING Could not set"), std::string::npos);
}

TEST_F(SessionGuardTest, RefusedAwayModeFallsBackToDisplayRequired) {
  world.system.refusedExecutionState = kEsAwayModeRequired;
  RunUpdateSession(world.session());  // no connection object: ends at the discovery
  EXPECT_EQ(world.system.executionStates,
            (std::vector<uint32_t>{kKeepAwake, kKeepAwakeFallback, kEsContinuous}));
  EXPECT_NE(world.window().verbose().find(
                "WARNING Could not set Thread Execution State to block Sleep\r\n****"),
            std::string::npos);
}

TEST_F(SessionGuardTest, AVerbosePaneOf9000LinesLosesItsFirst2000Characters) {
  std::string pane;
  for (int i = 0; i < 9000; ++i) pane += "line " + std::to_string(i) + "\r\n";
  world.window().AppendText(kIdVerbose, pane);
  world.system.power = OnBattery(0, 60);
  RunUpdateSession(world.session());
  EXPECT_EQ(world.window().verbose().substr(0, pane.size() - 2000), pane.substr(2000));
  EXPECT_EQ(world.window().verbose().substr(pane.size() - 2000, 17), "BEGIN FW Update\r\n");
}

TEST_F(SessionGuardTest, AVerbosePaneOf8000LinesIsKept) {
  std::string pane;
  for (int i = 0; i < 7999; ++i) pane += "x\r\n";  // 8000 lines with the empty last one
  world.window().AppendText(kIdVerbose, pane);
  world.system.power = OnBattery(0, 60);
  RunUpdateSession(world.session());
  EXPECT_EQ(world.window().verbose().substr(0, pane.size()), pane);
}

TEST_F(SessionGuardTest, InputsAreDisabledForTheWholeSession) {
  world.system.power = OnBattery(0, 60);
  UpdateThread(world.session());
  const std::vector<std::string> events = world.window().events();
  const std::vector<std::string> first(events.begin(), events.begin() + 6);
  EXPECT_EQ(first, (std::vector<std::string>{"enable 1000 0", "enable 1004 0", "enable 1002 0",
                                             "enable 1005 0", "enable 1009 0", "enable 1003 0"}));
  const std::vector<std::string> last(events.end() - 6, events.end());
  EXPECT_EQ(last, (std::vector<std::string>{"enable 1000 1", "enable 1004 1", "enable 1002 1",
                                            "enable 1005 1", "enable 1009 1", "enable 1003 1"}));
}

TEST_F(SessionGuardTest, FailedSessionAsksForARerunUnlessSilent) {
  // No device was prepared: the session ends at its discovery.
  EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
  ASSERT_EQ(world.window().messageBoxes().size(), 1u);
  EXPECT_EQ(world.window().messageBoxes()[0].text,
            "Something happened. Check the verbos output window.\r\n\tPress OK to Exit");
  EXPECT_FALSE(world.window().IsVisible(kIdExecute));
  EXPECT_FALSE(world.window().IsVisible(kIdProgress));

  world.Restart();
  world.session().config.silent = true;
  world.system.virtualClock.ClearSleeps();
  EXPECT_EQ(UpdateThread(world.session()), kExitFailure);
  EXPECT_TRUE(world.window().messageBoxes().empty());
  const std::string v = world.window().verbose();
  const std::string ending =
      "The Firmware update was NOT completed\r\nPlease try again\r\nExiting...\r\n";
  ASSERT_GE(v.size(), ending.size());
  EXPECT_EQ(v.substr(v.size() - ending.size()), ending);
  EXPECT_EQ(world.system.virtualClock.sleeps().back(), 1000u);
}

TEST_F(SessionGuardTest, SlashRDeletesThePersonalityFileAndProgramsTheDefaults) {
  sim::Controller& c = world.bus.Attach(sim::ControllerConfig{});
  // A personality file left by an earlier run: this controller's page; and
  // one whose controller is not known, which /r leaves alone.
  std::vector<uint8_t> page = c.ReadFlash(kFactoryPageAddress, 1024);
  testing::WorkingDirectory::WriteFile("sf20150810_090000.mem", page);
  testing::WorkingDirectory::WriteUnitRecord("sf20150810_090000.mem", c.serial());
  testing::WorkingDirectory::WriteFile("sf20150809_090000.mem", page);
  fwgen::FirmwareBuild build;
  build.revision = 0x06;
  build.codeBytes = 0x1000;
  world.WriteFirmwareFile(build);
  world.session().config.saveFlashConfig = false;
  ASSERT_EQ(world.Prepare(), 0) << world.window().verbose();

  EXPECT_EQ(UpdateThread(world.session()), kExitSuccess);
  const std::string v = world.window().verbose();
  EXPECT_NE(v.find("Ignoring personality for prototype update: sf20150810_090000.mem\r\n"),
            std::string::npos);
  EXPECT_EQ(v.find("Restoring Factory config"), std::string::npos);
  EXPECT_EQ(v.find("Restoring FeedConfig1"), std::string::npos);
  EXPECT_EQ(world.dir.PersonalityFiles(), std::vector<std::string>{"sf20150809_090000.mem"});
  // The page is the firmware's default page, unchanged.
  std::vector<uint8_t> defaults;
  for (const fwgen::Region& r : fwgen::GenerateFirmware(build)) {
    if (r.address == kFactoryPageAddress) defaults = r.bytes;
  }
  ASSERT_EQ(defaults.size(), 1024u);
  EXPECT_EQ(c.ReadFlash(kFactoryPageAddress, 1024), defaults);
  EXPECT_EQ(c.runningRevision(), 0x06);
}

}  // namespace
}  // namespace padflash
