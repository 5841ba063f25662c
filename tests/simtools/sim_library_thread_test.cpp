// The simulated libVLMHID.so used by two threads of one process, as the
// dialog's window thread lists devices while the update worker moves
// feature reports: every report gets its answer and the state file stays
// whole.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>
#include <vector>

#include "VLMHID.h"
#include "sim/state_file.h"
#include "tests/support/virtual_clock.h"

namespace {

TEST(SimLibraryThreads, ListingAndTransfersFromTwoThreadsShareOneBus) {
  char folder[] = "/tmp/padflash-simthreads-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  const std::string state = std::string(folder) + "/bus.json";
  {
    padflash::testing::VirtualClock clock;
    sim::Bus bus(clock);
    bus.Attach(sim::ControllerConfig{});
    std::ofstream(state) << sim::BusToText(bus);
  }
  setenv("VLMHID_SIM_STATE", state.c_str(), 1);

  constexpr int kRounds = 50;
  int answered = 0;
  std::thread worker([&] {
    std::unique_ptr<VirtualVLMHIDInterface, void (*)(VirtualVLMHIDInterface*)> hid(
        CreateVLMHIDInterface(), DestroyVLMHIDInterface);
    if (hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature) != 0) return;
    for (int i = 0; i < kRounds; ++i) {
      uint8_t report[531] = {0x08, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00};  // read FeedConfig1
      if (hid->WriteFeatureReport(report, sizeof report) != 0) continue;
      if (hid->ReadFeatureReport(report, sizeof report) == 0 && report[5] == 0xC4 &&
          report[11] == 0x5A) {
        ++answered;
      }
    }
  });
  int listed = 0;
  {
    std::unique_ptr<VirtualVLMHIDInterface, void (*)(VirtualVLMHIDInterface*)> hid(
        CreateVLMHIDInterface(), DestroyVLMHIDInterface);
    for (int i = 0; i < kRounds; ++i) {
      int count = 0, maxPathBytes = 0;
      hid->EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes);
      listed += count == 3 ? 1 : 0;  // the three collections of a running controller
    }
  }
  worker.join();
  EXPECT_EQ(answered, kRounds);
  EXPECT_EQ(listed, kRounds);

  std::ifstream file(state);
  std::stringstream text;
  text << file.rdbuf();
  padflash::testing::VirtualClock clock;
  sim::Bus reloaded(clock);
  std::string error;
  EXPECT_TRUE(sim::BusFromText(text.str(), reloaded, error)) << error;
  EXPECT_EQ(reloaded.controllers().size(), 1u);
  std::filesystem::remove_all(folder);
}

}  // namespace
