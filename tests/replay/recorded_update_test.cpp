// Whole runs through the engine against controllers the kernel tests
// recorded: an update through /dev/hidraw* (real libVLMHID.so, USB): listing,
// preparation, the session with its restarts into the bootloader and back;
// and the recovery of a unit stranded in its bootloader, recorded by
// padflash-cli.exe with the real VLMHID.dll through Wine's HID stack.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>

#include "hidlib/vlmhid_interface.h"
#include "session/session.h"
#include "sim/replay_backend.h"
#include "tests/preparation/preparation_world.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "update/device_list_refresh.h"
#include "update/preparation.h"
#include "update/update_session.h"

namespace padflash::testing {
namespace {

std::string Read(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class RecordedUpdate : public ::testing::Test {
 protected:
  void SetUp() override { Load("/kernel_usb_update.trace"); }
  void Load(const char* trace) {
    std::string error;
    ASSERT_TRUE(player->Load(Read(PADFLASH_TEST_DATA + std::string(trace)), error)) << error;
    session.config.overrideCompatibility = true;  // as recorded: padflash-cli /o
  }
  // Lists, prepares and runs the session with this firmware file.
  int Update(const char* firmware) {
    session.config.firmwarePath = std::string(PADFLASH_TEST_DATA "/") + firmware;
    if (!RefreshDeviceList(session) || PrepareUpdate(session) != 0) return -100;
    return RunUpdateSession(session);
  }

  TemporaryWorkingDirectory dir;
  RecordingWindow window;
  TestSystemPort system;
  std::shared_ptr<sim::TracePlayer> player = std::make_shared<sim::TracePlayer>();
  Session session{
      window, system, [this] {
        return new VLMHIDInterface(std::make_unique<sim::ReplayBackend>(player, system.clock()));
      }};
};

TEST_F(RecordedUpdate, ReplaysThroughTheEngine) {
  ASSERT_EQ(Update("usb_12_06.hex"), kExitSuccess) << window.verbose();
  EXPECT_EQ(window.comboItems(), std::vector<std::string>{"0x488 - 0x101 - 0x1205 -None - None"});
  EXPECT_TRUE(
      InOrder(window.verbose(),
              {"Device Info 12.5\r\n", "Disconnecting from device to reconnect as bootloader",
               "Firmware was successfully updated to version: 12.6\r\n"}));
  EXPECT_FALSE(player->diverged()) << player->divergence();
  EXPECT_EQ(player->played(), player->exchanges());
}

TEST_F(RecordedUpdate, AnotherImageLeavesTheTraceAtItsFirstOwnReport) {
  EXPECT_NE(Update("usb_12_05.hex"), kExitSuccess);
  ASSERT_TRUE(player->diverged());
  // The image differs from the recorded one from the region format on.
  EXPECT_TRUE(std::regex_search(
      player->divergence(),
      std::regex("^exchange [0-9]+ of " + std::to_string(player->exchanges()) +
                 ": expected SET 0705[0-9a-f]+ \\(trace line [0-9]+\\), received SET 0705[0-9a-f]+ "
                 "\\(first difference at byte [0-9]+\\)$")))
      << player->divergence();
}

// The unit lost power at write-data chunk 4 of an update that had saved its
// factory settings; the recovery started in that folder finds the file by
// the unit's serial, programs the image and restores the settings. Under
// Wine the new firmware's interface has no "&col01", so the file is kept
// and another run advised, as the recorded run did.
TEST_F(RecordedUpdate, RecoveryFromTheBootloaderThroughWineUsesTheUnitsOwnFile) {
  namespace fs = std::filesystem;
  const fs::path recorded = PADFLASH_TEST_DATA "/kernel_wine_usb_recovery";
  for (const char* name : {"sf20261210_074022.mem", "sf20261210_074022.mem.unit"}) {
    fs::copy_file(recorded / name, name);
  }
  player = std::make_shared<sim::TracePlayer>();
  Load("/kernel_wine_usb_recovery/recovery.trace");
  // Yes to the bootloader's product ID only: a file not known as this unit's
  // would need another yes.
  window.QueueAnswer(MessageAnswer::kYes);
  window.defaultAnswer = MessageAnswer::kNo;
  ASSERT_EQ(Update("usb_12_06.hex"), kExitSuccessRetryAdvised) << window.verbose();
  EXPECT_EQ(window.comboItems(),
            std::vector<std::string>{"0x488 - 0xD0C0 - 0x0 -Velmar Bootloader - UHID0001"});
  EXPECT_TRUE(InOrder(window.verbose(),
                      {"Found Personality File: sf20261210_074022.mem\r\n",
                       "Opened Factory File: sf20261210_074022.mem", "Restoring factory settings",
                       "Unable to reconnect to touchpad device",
                       "Keeping temp config file until the new firmware answers"}));
  EXPECT_FALSE(player->diverged()) << player->divergence();
  EXPECT_EQ(player->played(), player->exchanges());
  EXPECT_TRUE(fs::exists("sf20261210_074022.mem"));
}

}  // namespace
}  // namespace padflash::testing
