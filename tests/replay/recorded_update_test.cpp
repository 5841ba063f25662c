// A whole update through the engine against the controller that the kernel
// test recorded through /dev/hidraw* (real libVLMHID.so, USB): listing,
// preparation, the session with its restarts into the bootloader and back.
#include <gtest/gtest.h>

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
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(player->Load(Read(PADFLASH_TEST_DATA "/kernel_usb_update.trace"), error)) << error;
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

}  // namespace
}  // namespace padflash::testing
