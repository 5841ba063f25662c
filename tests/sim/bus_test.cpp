// The bus as the host's library sees it: VLMHID connection objects on the
// bus backend, enumeration, re-enumeration, and the trace of every report.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "VLMHID.h"
#include "sim/bus.h"
#include "tests/support/virtual_clock.h"
#include "update/fletcher.h"

namespace {

class SimBus : public ::testing::Test {
 protected:
  std::unique_ptr<VirtualVLMHIDInterface> NewInterface() {
    return std::unique_ptr<VirtualVLMHIDInterface>(sim::CreateBusInterface(bus));
  }
  int Count(VirtualVLMHIDInterface& hid, uint16_t vid, uint16_t pid) {
    DeviceFilter filter{vid, pid, 0};
    int count = 0;
    int maxPathBytes = 0;
    EXPECT_EQ(hid.EnumDevices(&filter, 1, nullptr, &count, &maxPathBytes), 0);
    return count;
  }

  padflash::testing::VirtualClock clock;
  sim::Bus bus{clock};
};

TEST_F(SimBus, FeatureReadOfFeedConfig1ThroughAConnectionObject) {
  bus.Attach(sim::ControllerConfig{});
  auto hid = NewInterface();
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
  uint8_t buffer[531] = {0x08, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00};
  ASSERT_EQ(hid->WriteFeatureReport(buffer, 531), 0);
  uint8_t reply[531] = {};
  ASSERT_EQ(hid->ReadFeatureReport(reply, 531), 0);
  EXPECT_EQ(reply[0], 0xC3);
  EXPECT_EQ(reply[1], 0x5A);
  const uint8_t echo[7] = {0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00, 0x5A};
  EXPECT_EQ(0, std::memcmp(reply + 5, echo, 7));
  const uint16_t f16 = padflash::Fletcher16(echo, 7);
  EXPECT_EQ(reply[12] | reply[13] << 8, f16);
}

TEST_F(SimBus, InvokeReEnumeratesAsTheBootloaderAfterTheDelay) {
  bus.Attach(sim::ControllerConfig{});
  auto hid = NewInterface();
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
  uint8_t invoke[531] = {0x06};
  ASSERT_EQ(hid->WriteFeatureReport(invoke, 531), 0);
  uint8_t status[531] = {};
  EXPECT_EQ(hid->ReadFeatureReport(status, 531), -1) << "gone from the bus";
  ASSERT_EQ(hid->DisconnectFromDevice(), 0);
  EXPECT_EQ(Count(*hid, 0, 0), 0);
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0xD0C0, 7, kVLMHIDModeFeature), -1);
  clock.SleepMs(500);
  EXPECT_EQ(Count(*hid, 0x0488, 0x0101), 0);
  EXPECT_EQ(Count(*hid, 0x0488, 0xD0C0), 1);
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0xD0C0, 7, kVLMHIDModeFeature), 0);
  ASSERT_EQ(hid->ReadFeatureReport(status, 531), 0);
  EXPECT_EQ(status[0], 0x5A);
  EXPECT_EQ(status[1], 0xC3);
}

TEST_F(SimBus, EnumerationListsThreeCollectionsWithStringsAndPaths) {
  sim::ControllerConfig config;
  config.product = L"Velmar Touchpad";
  bus.Attach(config);
  auto hid = NewInterface();
  int count = 0;
  int maxPathBytes = 0;
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, nullptr, &count, &maxPathBytes), 0);
  ASSERT_EQ(count, 3);
  std::vector<std::vector<wchar_t>> strings(9, std::vector<wchar_t>(kVLMHIDStringChars));
  std::vector<wchar_t> paths[3];
  DeviceEntry entries[3];
  for (int i = 0; i < 3; ++i) {
    paths[i].assign(maxPathBytes, 0);
    entries[i] =
        DeviceEntry{0, 0, 0, strings[3 * i].data(), strings[3 * i + 1].data(), paths[i].data()};
  }
  ASSERT_EQ(hid->EnumDevices(nullptr, 0, entries, &count, &maxPathBytes), 0);
  EXPECT_EQ(std::wstring(entries[0].devicePath), L"/sim/SIM0001&col01");
  EXPECT_EQ(std::wstring(entries[2].devicePath), L"/sim/SIM0001&col03");
  EXPECT_EQ(std::wstring(entries[1].productString), L"Velmar Touchpad");
  EXPECT_EQ(std::wstring(entries[1].serialNumberString), L"SIM0001");
  EXPECT_EQ(entries[0].versionNumber, 0x1205);
}

TEST_F(SimBus, TraceHasOneLinePerReportInBothDirections) {
  sim::Controller& c = bus.Attach(sim::ControllerConfig{});
  std::vector<std::string> sunk;
  bus.SetTraceSink([&](const std::string& line) { sunk.push_back(line); });
  auto hid = NewInterface();
  ASSERT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
  bus.ClearTrace();
  sunk.clear();
  clock.Advance(234);
  uint8_t buffer[531] = {0x08, 0xC4, 0xC2, 0x00, 0x00, 0x01, 0x00};
  ASSERT_EQ(hid->WriteFeatureReport(buffer, 531), 0);
  ASSERT_EQ(hid->ReadFeatureReport(buffer, 531), 0);
  c.faults().failGetAt = 1;
  EXPECT_EQ(hid->ReadFeatureReport(buffer, 531), -1);

  const std::vector<std::string> lines = bus.TraceLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines, sunk);
  const std::string zeros(2 * 525, '0');
  EXPECT_EQ(lines[0], "1000234 SET SIM0001 0708c4c2000001" + zeros);
  const uint16_t f16 =
      padflash::Fletcher16(std::vector<uint8_t>{0xC4, 0xC2, 0, 0, 1, 0, 0x5A}.data(), 7);
  char sum[5];
  std::snprintf(sum, sizeof sum, "%02x%02x", f16 & 0xFF, f16 >> 8);
  EXPECT_EQ(lines[1], "1000234 GET SIM0001 07c35a050010c4c2000001005a" + std::string(sum) +
                          std::string(2 * 517, '0'));
  EXPECT_EQ(lines[2].rfind("1000234 GET-FAIL SIM0001 07", 0), 0u);
  EXPECT_EQ(lines[2].size(), std::string("1000234 GET-FAIL SIM0001 ").size() + 2 * 532);
}

TEST_F(SimBus, SerialsAreGivenInTurnAndHooksSeeChanges) {
  int changes = 0;
  int accesses = 0;
  bus.SetChangeHook([&] { ++changes; });
  bus.SetBeforeAccessHook([&] { ++accesses; });
  sim::ControllerConfig named;
  named.serial = "BENCH7";
  EXPECT_EQ(bus.Attach(sim::ControllerConfig{}).serial(), "SIM0001");
  EXPECT_EQ(bus.Attach(named).serial(), "BENCH7");
  EXPECT_EQ(bus.Attach(named).serial(), "SIM0002") << "a serial already on the bus";
  EXPECT_EQ(changes, 3);
  EXPECT_TRUE(bus.Detach("SIM0001"));
  EXPECT_FALSE(bus.Detach("SIM0001"));
  EXPECT_EQ(bus.Attach(sim::ControllerConfig{}).serial(), "SIM0003") << "numbers are not reused";
  EXPECT_EQ(bus.controllers().size(), 3u);
  EXPECT_EQ(bus.Find("BENCH7")->serial(), "BENCH7");
  EXPECT_EQ(bus.Find("nothing"), nullptr);
  auto hid = NewInterface();
  Count(*hid, 0, 0);
  EXPECT_GE(accesses, 1);
  EXPECT_EQ(changes, 5);
}

TEST_F(SimBus, RestoredStateAnswersLikeTheOriginal) {
  sim::Controller& original = bus.Attach(sim::ControllerConfig{});
  original.faults().failSetAt = 5;
  sim::ControllerState saved = original.state();
  ASSERT_TRUE(bus.Detach("SIM0001"));
  sim::Controller& restored = bus.Restore(saved);
  EXPECT_EQ(restored.serial(), "SIM0001");
  EXPECT_EQ(restored.state().flash, saved.flash);
  EXPECT_EQ(restored.faults().failSetAt, 5);
  auto hid = NewInterface();
  EXPECT_EQ(hid->ConnectToDevice(0x0488, 0x0101, 7, kVLMHIDModeFeature), 0);
}

}  // namespace
