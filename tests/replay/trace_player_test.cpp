// The trace recorder and the player: lines as the simulated bus writes
// them, the device following the DEVICE lines, strict order, and the
// divergence report.
#include "sim/trace_player.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "hidlib/trace_backend.h"
#include "hidlib/vlmhid_interface.h"
#include "sim/bus.h"
#include "sim/bus_backend.h"
#include "sim/replay_backend.h"
#include "tests/support/virtual_clock.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string WithoutTime(const std::string& line) {
  return line.substr(line.find(' ') + 1);
}

// The recorder writes the bus's own lines for the same reports, with a DEVICE
// line before the first and again when the controller comes back as its
// bootloader.
TEST(TraceRecorder, WritesTheSimulatedBusLinesAndWhatTheReportsReach) {
  padflash::testing::VirtualClock clock;
  sim::Bus bus(clock);
  bus.Attach(sim::ControllerConfig{});
  std::vector<std::string> recorded;
  auto recorder = std::make_shared<vlmhid::TraceRecorder>(
      [&](const std::string& line) { recorded.push_back(line); }, [&] { return clock.NowMs(); });
  VLMHIDInterface hid(vlmhid::TracedBackend(std::make_unique<sim::BusBackend>(bus), recorder));

  ASSERT_EQ(hid.ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
  Bytes command(531, 0);
  ASSERT_EQ(hid.ReadFeatureReport(command.data(), 531), 0);
  command[0] = 6;  // invoke: the controller restarts into its bootloader
  ASSERT_EQ(hid.WriteFeatureReport(command.data(), 531), 0);
  EXPECT_NE(hid.ReadFeatureReport(command.data(), 531), 0);
  hid.DisconnectFromDevice();
  clock.SleepMs(1000);
  ASSERT_EQ(hid.ConnectToDevice(0x0488, 0xD0C0, 7, kVLMHIDModeFeature), 0);
  ASSERT_EQ(hid.ReadFeatureReport(command.data(), 531), 0);

  const std::vector<std::string> busLines = bus.TraceLines();
  ASSERT_EQ(recorded.size(), busLines.size() + 2);
  EXPECT_EQ(WithoutTime(recorded[0]), "DEVICE SIM0001 488:101:1205 7 &col01 Velmar Touchpad");
  EXPECT_EQ(WithoutTime(recorded[4]), "DEVICE SIM0001 488:d0c0:5 7 - Velmar Touchpad Bootloader");
  std::vector<std::string> exchanges;
  for (const std::string& line : recorded) {
    if (line.find(" DEVICE ") == std::string::npos) exchanges.push_back(line);
  }
  EXPECT_EQ(exchanges, busLines);
}

const char kTrace[] =
    "10 DEVICE hidraw0 488:101:1205 7 &col01 Velmar Touchpad\n"
    "11 SET hidraw0 0701\n"
    "12 GET hidraw0 07aa\n"
    "13 SET-FAIL hidraw0 0706\n"
    "\n"
    "20 DEVICE SN-0001 488:d0c0:5 7 - None\n"
    "21 GET-FAIL SN-0001 0700\n"
    "22 GET SN-0001 07bb\n";

class Player : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(player->Load(kTrace, error)) << error;
  }
  std::shared_ptr<sim::TracePlayer> player = std::make_shared<sim::TracePlayer>();
  padflash::testing::VirtualClock clock;
  sim::ReplayBackend backend{player, clock};
};

TEST_F(Player, TheDeviceLeavesAndComesBackAsTheTraceSays) {
  ASSERT_EQ(backend.ListInterfaces(), std::vector<std::wstring>{L"/replay/hidraw0&col01"});
  auto firmware = backend.Open(L"/replay/hidraw0&col01", vlmhid::OpenAccess::kNone);
  ASSERT_NE(firmware, nullptr);
  vlmhid::HidAttributes attributes;
  ASSERT_TRUE(firmware->GetAttributes(attributes));
  EXPECT_EQ(attributes.versionNumber, 0x1205);
  wchar_t serial[16] = L"";
  EXPECT_FALSE(firmware->GetSerialNumberString(serial, sizeof serial));  // recorded by its node

  Bytes report{7, 1};
  EXPECT_TRUE(firmware->SetFeature(report.data(), 2));
  report = {7, 0};
  EXPECT_TRUE(firmware->GetFeature(report.data(), 2));
  EXPECT_EQ(report, (Bytes{7, 0xAA}));
  report = {7, 6};
  EXPECT_FALSE(firmware->SetFeature(report.data(), 2));  // recorded as failed

  // The last report of the firmware is played: the bootloader is there.
  EXPECT_FALSE(firmware->GetAttributes(attributes));
  EXPECT_FALSE(firmware->GetFeature(report.data(), 2));
  ASSERT_EQ(backend.ListInterfaces(), std::vector<std::wstring>{L"/replay/SN-0001"});
  auto bootloader = backend.Open(L"/replay/SN-0001", vlmhid::OpenAccess::kNone);
  ASSERT_NE(bootloader, nullptr);
  ASSERT_TRUE(bootloader->GetSerialNumberString(serial, sizeof serial));
  EXPECT_EQ(std::wstring(serial), L"SN-0001");
  report = {7, 0};
  EXPECT_FALSE(bootloader->GetFeature(report.data(), 2));
  EXPECT_TRUE(bootloader->GetFeature(report.data(), 2));
  EXPECT_EQ(report, (Bytes{7, 0xBB}));
  EXPECT_FALSE(player->diverged());
  EXPECT_EQ(player->played(), player->exchanges());

  EXPECT_FALSE(bootloader->GetFeature(report.data(), 2));
  EXPECT_EQ(player->divergence(),
            "exchange 6 of 5: expected nothing (the trace has ended), received GET of 2 bytes, "
            "report ID 7");
}

TEST_F(Player, FirstDivergenceNamesTheExchangeAndBothReportsThenEverythingFails) {
  std::vector<std::string> reported;
  player->SetDivergenceHandler([&](const std::string& text) { reported.push_back(text); });
  auto handle = backend.Open(L"/replay/hidraw0&col01", vlmhid::OpenAccess::kNone);
  Bytes report{7, 2};
  EXPECT_FALSE(handle->SetFeature(report.data(), 2));
  EXPECT_EQ(player->divergence(),
            "exchange 1 of 5: expected SET 0701 (trace line 2), received SET 0702 (first "
            "difference at byte 1)");
  report = {7, 1};
  EXPECT_FALSE(handle->SetFeature(report.data(), 2));
  EXPECT_EQ(reported, std::vector<std::string>{player->divergence()});

  // A read where a write was recorded diverges too.
  ASSERT_TRUE(player->Load(kTrace, reported.back()));
  report = {7, 0};
  EXPECT_FALSE(handle->GetFeature(report.data(), 2));
  EXPECT_NE(player->divergence().find("expected SET 0701"), std::string::npos);
}

TEST(PlayerLoad, RefusesLinesItCannotPlay) {
  sim::TracePlayer player;
  std::string error;
  EXPECT_FALSE(player.Load("5 SET SIM0001 0701\n", error));
  EXPECT_EQ(error, "trace line 1: a report before any DEVICE line");
  EXPECT_FALSE(player.Load("1 DEVICE a 488:101:0 7 - None\n2 SET a 07x1\n", error));
  EXPECT_EQ(error, "trace line 2 is not a report trace line");
  EXPECT_FALSE(player.Load("1 DEVICE a 488:10000:0 7 - None\n", error));
  EXPECT_TRUE(player.Load("", error));
  EXPECT_FALSE(player.Present().has_value());
}

// A device recorded without a serial number goes by its node: Linux's
// hidraw name or Windows' interface name; anything else is a serial.
TEST(PlayerLoad, NodeNamesAreToldFromSerialNumbers) {
  using vlmhid::trace::NamesNode;
  EXPECT_TRUE(NamesNode("hidraw12"));
  EXPECT_TRUE(
      NamesNode("hid#vid_0488&pid_d0c0#0&uhid0001&0&0#{4d1e55b2-f16f-11cf-88cb-001111000030}"));
  EXPECT_TRUE(NamesNode("-"));
  EXPECT_FALSE(NamesNode("UHID0001"));
  EXPECT_FALSE(NamesNode("hidraw"));
  EXPECT_FALSE(NamesNode("hidraw1a"));
}

}  // namespace
