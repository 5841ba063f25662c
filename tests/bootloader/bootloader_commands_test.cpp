// The small bootloader operations against a simulated controller.
#include "update/bootloader_commands.h"

#include <gtest/gtest.h>

#include "tests/bootloader/bus_world.h"
#include "update/bootloader_protocol.h"
#include "update/memory_transfer.h"

namespace padflash {
namespace {

using testing::BusWorld;
using testing::CountOf;

class BootloaderCommandsTest : public ::testing::Test {
 protected:
  sim::Controller& AttachRunning(uint32_t restartDelayMs = 500) {
    sim::ControllerConfig config;
    config.restartDelayMs = restartDelayMs;
    sim::Controller& c = world.bus.Attach(config);
    EXPECT_TRUE(world.Connect(0x0488, 0x0101));
    return c;
  }
  sim::Controller& AttachBootloader() {
    sim::ControllerConfig config;
    config.inBootloader = true;
    sim::Controller& c = world.bus.Attach(config);
    EXPECT_TRUE(world.Connect(0x0488, 0xD0C0));
    return c;
  }
  std::vector<uint32_t> SleepsOf(uint32_t ms) {
    std::vector<uint32_t> of;
    for (uint32_t s : world.Sleeps())
      if (s == ms) of.push_back(s);
    return of;
  }

  BusWorld world;
};

TEST_F(BootloaderCommandsTest, InvokeThatReturnsInTheFirstPassDoesNotWait) {
  sim::Controller& c = AttachRunning();
  ASSERT_EQ(BL_Invoke(world.session, 7, 0x0488, 0x0101), 0);
  EXPECT_TRUE(c.inBootloader());
  EXPECT_EQ(world.window.verbose(),
            "Invoking Bootloader... \r\n"
            "Disconnecting from device to reconnect as bootloader\r\n"
            "Invoking Bootloader ."
            "     Trying the following Device IDs -  Vendor: 0x488\r\n"
            "                                        Product: 0x101\r\n"
            " ."
            "     Trying the following Bootloader IDs -  Vendor: 0x488\r\n"
            "                                        Product: 0xD0C0\r\n"
            " Connected\r\n"
            "\r\nChecking InBootloader. . Done\r\n"
            "Done \r\n ");
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{1000, 1000, 100}));
  EXPECT_EQ(world.window.statusHistory(),
            (std::vector<std::string>{"Invoking Bootloader... \r\n"}));
  // The invoke command went to the firmware: code 6 and zeros after it.
  const auto sets = world.Reports("SET");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0][1], kCmdInvoke);
  EXPECT_EQ(std::vector<uint8_t>(sets[0].begin() + 2, sets[0].end()),
            std::vector<uint8_t>(kReportSize - 1, 0));
  // Stepped after each step and each of the two connect attempts.
  EXPECT_EQ(world.window.progress(kIdMarquee).totalSteps, 8);
}

TEST_F(BootloaderCommandsTest, InvokeThatNeedsTwoPassesWaitsTenSecondsForTheDevice) {
  sim::Controller& c = AttachRunning(2500);
  ASSERT_EQ(BL_Invoke(world.session, 7, 0x0488, 0x0101), 0);
  EXPECT_TRUE(c.inBootloader());
  const std::string verbose = world.window.verbose();
  EXPECT_EQ(CountOf(verbose, "Trying the following Device IDs"), 2);
  std::string wait = " Connected\r\nWaiting on device . ";
  for (int i = 0; i < 20; ++i) wait += ". ";
  wait += "\r\n\r\n\r\nChecking InBootloader. ";
  EXPECT_NE(verbose.find(wait), std::string::npos) << verbose;
  EXPECT_EQ(SleepsOf(500).size(), 20u);
  EXPECT_EQ(SleepsOf(1000).size(), 4u);

  // The status line grows by ". " every half second from "Waiting on device . ".
  const std::vector<std::string> history = world.window.statusHistory();
  ASSERT_EQ(history.size(), 22u);
  EXPECT_EQ(history[1], "Waiting on device . ");
  EXPECT_EQ(history[2], "Waiting on device . . ");
  std::string last = "Waiting on device . ";
  for (int i = 0; i < 20; ++i) last += ". ";
  EXPECT_EQ(history[21], last);
}

// A second controller of the same model keeps running its firmware under the
// IDs of the invoked one: the device IDs are tried first and connect to it in
// the first half of the first pass, and its firmware status (0xC35A) fails the
// bootloader check.
TEST_F(BootloaderCommandsTest, InvokeTriesTheDeviceIdsFirstAndFailsWhenTheFirmwareAnswers) {
  sim::Controller& invoked = AttachRunning();
  sim::Controller& other = world.bus.Attach(sim::ControllerConfig{});
  EXPECT_EQ(BL_Invoke(world.session, 7, 0x0488, 0x0101), -1);
  EXPECT_TRUE(invoked.inBootloader());
  EXPECT_FALSE(other.inBootloader());
  EXPECT_EQ(world.window.verbose(),
            "Invoking Bootloader... \r\n"
            "Disconnecting from device to reconnect as bootloader\r\n"
            "Invoking Bootloader ."
            "     Trying the following Device IDs -  Vendor: 0x488\r\n"
            "                                        Product: 0x101\r\n"
            " Connected\r\n"
            "\r\nChecking InBootloader. . Done\r\n");
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{1000, 100}));
  // Only the invoke was sent; the status came from the other controller.
  EXPECT_EQ(world.Reports("SET").size(), 1u);
  EXPECT_EQ(world.session.UpdateResult, 0);
}

TEST_F(BootloaderCommandsTest, InvokeGivesUpAfterTwentyPasses) {
  sim::Controller& c = AttachRunning();
  c.faults().noReturnAfterInvoke = true;
  EXPECT_EQ(BL_Invoke(world.session, 7, 0x0488, 0x0101), -1);
  EXPECT_EQ(world.session.UpdateResult, 17);
  const std::string verbose = world.window.verbose();
  EXPECT_EQ(CountOf(verbose, "Trying the following Device IDs"), 20);
  EXPECT_EQ(CountOf(verbose, "Trying the following Bootloader IDs"), 20);
  const std::string tail =
      " .ERROR connecting to device while invoking Bootloader\r\n - Could not find Bootloader\r\n";
  ASSERT_GE(verbose.size(), tail.size());
  EXPECT_EQ(verbose.substr(verbose.size() - tail.size()), tail);
  EXPECT_EQ(world.Sleeps(), std::vector<uint32_t>(40, 1000));
}

TEST_F(BootloaderCommandsTest, ResetSendsCodeThreeAfterASecond) {
  sim::Controller& c = AttachBootloader();
  c.state().imageValid = true;  // so the reset starts the firmware
  world.bus.ClearTrace();
  ASSERT_EQ(BL_Reset(world.session), 0);
  EXPECT_EQ(world.window.verbose(), "\r\nResetting...Done\r\n");
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{1000}));
  const auto sets = world.Reports("SET");
  ASSERT_EQ(sets.size(), 1u);
  EXPECT_EQ(sets[0][1], kCmdReset);
  world.system.virtualClock.Advance(1000);
  EXPECT_FALSE(c.inBootloader());
}

TEST_F(BootloaderCommandsTest, InBootloaderCheckTellsBootloaderFromFirmware) {
  AttachRunning();
  EXPECT_FALSE(BL_CheckInBootloader(world.session));
  EXPECT_EQ(world.window.verbose(), "\r\nChecking InBootloader. . Done\r\n");

  BusWorld boot;
  sim::ControllerConfig config;
  config.inBootloader = true;
  boot.bus.Attach(config);
  ASSERT_TRUE(boot.Connect(0x0488, 0xD0C0));
  EXPECT_TRUE(BL_CheckInBootloader(boot.session));
}

TEST_F(BootloaderCommandsTest, InBootloaderCheckGivesUpAfterAHundredReads) {
  AttachBootloader();
  world.session.connection->DisconnectFromDevice();
  EXPECT_FALSE(BL_CheckInBootloader(world.session));
  const std::string verbose = world.window.verbose();
  EXPECT_EQ(CountOf(verbose, ". "), 101);  // the heading's and one per attempt
  EXPECT_NE(verbose.find("Unable to check if InBootloader\r\n"
                         "VirtualVLMHIDInterface1.ReadFeatureReport Error: 0x"),
            std::string::npos);
  EXPECT_EQ(world.Sleeps(), std::vector<uint32_t>(100, 100));
}

TEST_F(BootloaderCommandsTest, LastErrorComesFromBootloaderOrFirmware) {
  sim::Controller& c = AttachRunning();
  c.state().lastError = NV_err_timeout;
  EXPECT_EQ(BL_GetLastError(world.session), NV_err_timeout);
  EXPECT_EQ(world.window.verbose(), ". Done\r\n");
  EXPECT_EQ(world.Sleeps(), (std::vector<uint32_t>{10}));
}

TEST_F(BootloaderCommandsTest, LastErrorRetriesFailedReadsAndNumbersThem) {
  sim::Controller& c = AttachBootloader();
  c.state().lastError = NV_err_chksum_mismatch;
  c.faults().failGetAt = 1;
  EXPECT_EQ(BL_GetLastError(world.session), NV_err_chksum_mismatch);
  EXPECT_EQ(world.window.verbose(), ". BL_GetLastError attempt # 0\r\n. Done\r\n");
}

TEST_F(BootloaderCommandsTest, LastErrorWithoutAnyReplyIsMinusOne) {
  AttachBootloader();
  world.session.connection->DisconnectFromDevice();
  EXPECT_EQ(BL_GetLastError(world.session), -1);
  const std::string verbose = world.window.verbose();
  EXPECT_EQ(CountOf(verbose, "BL_GetLastError attempt # "), 100);
  EXPECT_NE(verbose.find("BL_GetLastError attempt # 99\r\n"), std::string::npos);
  const std::string tail =
      "Unable to GetLastError from Bootloader\r\n  HIDInterface1.ReadFeatureReport Error\r\n"
      "  BL_GetLastError \r\n";
  EXPECT_EQ(verbose.substr(verbose.size() - tail.size()), tail);
  EXPECT_EQ(world.Sleeps(), std::vector<uint32_t>(100, 10));
}

TEST_F(BootloaderCommandsTest, StatusFromTheBootloaderIsPrintedInFull) {
  sim::Controller& c = AttachBootloader();
  c.state().flags = 0x2D;  // dual, active-image bit 2, busy, force; image invalid
  c.state().lastError = 0x0D;
  world.session.bootloaderVersion = 0;
  EXPECT_EQ(BL_GetStatus(world.session), 1);
  EXPECT_EQ(world.session.bootloaderVersion, 5);
  EXPECT_EQ(world.window.verbose(),
            "Getting Bootloader status. . Done\r\n"
            "Status...\r\n"
            "Sentinel: 0x5AC3\r\n"
            "(Valid - Aquired via Bootloader Access)\r\n"
            "Version: 0x5\r\n"
            "LastError: 0xD (NV_err_undefined)\r\n"
            "Flags: 0x2D\r\n"
            "  Image Layout: Dual\r\n"
            "  Active Image: None\r\n"
            "  Busy: True\r\n"
            "  Image Valid: False\r\n"
            "  Force: True\r\n");
}

TEST_F(BootloaderCommandsTest, StatusFromTheFirmwareIsValidButNotBootloader) {
  sim::Controller& c = AttachRunning();
  c.state().flags = 0x39;
  EXPECT_EQ(BL_GetStatus(world.session), 0);
  const std::string verbose = world.window.verbose();
  EXPECT_NE(verbose.find("Sentinel: 0xC35A\r\n(Valid - Aquired via Image Access)\r\n"),
            std::string::npos);
  EXPECT_NE(verbose.find("LastError: 0x0 (NV_err_none)\r\nFlags: 0x39\r\n"
                         "  Image Layout: Dual\r\n  Active Image: 0\r\n  Busy: True\r\n"
                         "  Image Valid: True\r\n  Force: True\r\n"),
            std::string::npos)
      << verbose;
}

TEST_F(BootloaderCommandsTest, StatusWithoutAnyReplyIsMinusOne) {
  AttachBootloader();
  world.session.connection->DisconnectFromDevice();
  world.session.bootloaderVersion = 9;
  EXPECT_EQ(BL_GetStatus(world.session), -1);
  EXPECT_EQ(world.session.bootloaderVersion, 9);
  EXPECT_NE(world.window.verbose().find("Unable to Get Bootloader Status\r\nBootloader status: "
                                        "HIDInterface1.ReadFeatureReport Error: 0x"),
            std::string::npos);
  EXPECT_EQ(world.Sleeps(), std::vector<uint32_t>(100, 10));
}

TEST(NoConnection, EachOperationReturnsItsOwnResultWithoutOutput) {
  BusWorld world;
  uint8_t value = 0;
  EXPECT_EQ(BL_ReadMemory(world.session, kFeedConfig1Address, 1, &value), -1);
  EXPECT_EQ(BL_WriteMemory(world.session, kFeedConfig1Address, 1, &value), -1);
  EXPECT_EQ(BL_Invoke(world.session, 7, 0x0488, 0x0101), -1);
  EXPECT_EQ(BL_Reset(world.session), -1);
  EXPECT_FALSE(BL_CheckInBootloader(world.session));
  EXPECT_EQ(BL_GetLastError(world.session), -1);
  EXPECT_EQ(BL_GetStatus(world.session), -2);
  EXPECT_EQ(world.window.verbose(), "");
  EXPECT_TRUE(world.Sleeps().empty());
  EXPECT_EQ(world.session.UpdateResult, 0);
}

}  // namespace
}  // namespace padflash
