#include "platform/posix/power_supply.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/support/temp_folder.h"

namespace padflash {
namespace {

namespace fs = std::filesystem;

// A fixture tree shaped like /sys/class/power_supply.
class PowerSupplyTree : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::MakeTempFolder("padflash-power");
    ASSERT_FALSE(root_.empty());
  }
  void TearDown() override { fs::remove_all(root_); }

  void Supply(const std::string& name, const std::map<std::string, std::string>& attributes) {
    fs::create_directories(root_ / name);
    for (const auto& [key, value] : attributes) std::ofstream(root_ / name / key) << value << "\n";
  }

  PowerStatus Read() {
    PowerStatus status;
    EXPECT_TRUE(ReadPowerSupplyStatus(root_.string(), status));
    return status;
  }

  fs::path root_;
};

TEST_F(PowerSupplyTree, LaptopOnMainsWithHighBattery) {
  Supply("AC", {{"type", "Mains"}, {"online", "1"}});
  Supply("BAT0", {{"type", "Battery"}, {"status", "Full"}, {"capacity_level", "Full"}});
  const PowerStatus s = Read();
  EXPECT_EQ(s.acLineStatus, 1);
  EXPECT_EQ(s.batteryFlag, kBatteryHigh);
  EXPECT_EQ(s.batteryLifeTime, -1);
}

TEST_F(PowerSupplyTree, DischargingLifeTimeFromTimeToEmpty) {
  Supply("AC", {{"type", "Mains"}, {"online", "0"}});
  Supply("BAT0", {{"type", "Battery"},
                  {"status", "Discharging"},
                  {"capacity_level", "Normal"},
                  {"time_to_empty_now", "1140"},
                  {"energy_now", "99999999"},
                  {"power_now", "1"}});
  const PowerStatus s = Read();
  EXPECT_EQ(s.acLineStatus, 0);
  EXPECT_EQ(s.batteryFlag, 0);
  EXPECT_EQ(s.batteryLifeTime, 1140);
}

TEST_F(PowerSupplyTree, DischargingLifeTimeFromEnergyOrCharge) {
  Supply("ADP1", {{"type", "Mains"}, {"online", "0"}});
  // 10 Wh at 30 W: 20 minutes.
  Supply("BAT1", {{"type", "Battery"},
                  {"status", "Discharging"},
                  {"capacity", "20"},
                  {"energy_now", "10000000"},
                  {"power_now", "30000000"}});
  PowerStatus s = Read();
  EXPECT_EQ(s.batteryFlag, kBatteryLow);
  EXPECT_EQ(s.batteryLifeTime, 1200);

  fs::remove_all(root_ / "BAT1");
  // 1 Ah at 4 A: 15 minutes.
  Supply("BAT1", {{"type", "Battery"},
                  {"status", "Discharging"},
                  {"capacity", "3"},
                  {"charge_now", "1000000"},
                  {"current_now", "4000000"}});
  s = Read();
  EXPECT_EQ(s.batteryFlag, kBatteryCritical);
  EXPECT_EQ(s.batteryLifeTime, 900);
}

TEST_F(PowerSupplyTree, ChargingAddsTheChargingBitAndNoLifeTime) {
  Supply("AC", {{"type", "Mains"}, {"online", "1"}});
  Supply("BAT0", {{"type", "Battery"},
                  {"status", "Charging"},
                  {"capacity_level", "Low"},
                  {"time_to_empty_now", "600"}});
  const PowerStatus s = Read();
  EXPECT_EQ(s.batteryFlag, kBatteryLow | kBatteryCharging);
  EXPECT_EQ(s.batteryLifeTime, -1);
}

TEST_F(PowerSupplyTree, CapacityThresholds) {
  Supply("AC", {{"type", "Mains"}, {"online", "1"}});
  const std::pair<const char*, uint8_t> cases[] = {
      {"67", kBatteryHigh}, {"66", 0}, {"33", 0}, {"32", kBatteryLow}, {"4", kBatteryCritical}};
  for (const auto& [percent, flag] : cases) {
    fs::remove_all(root_ / "BAT0");
    Supply("BAT0", {{"type", "Battery"}, {"status", "Not charging"}, {"capacity", percent}});
    EXPECT_EQ(Read().batteryFlag, flag) << percent << " %";
  }
}

TEST_F(PowerSupplyTree, PeripheralBatteriesAreNotTheMachines) {
  Supply("hidpp_battery_0",
         {{"type", "Battery"}, {"scope", "Device"}, {"status", "Discharging"}, {"capacity", "2"}});
  PowerStatus s = Read();
  EXPECT_EQ(s.acLineStatus, 255);
  EXPECT_EQ(s.batteryFlag, kBatteryNone);
  EXPECT_EQ(s.batteryLifeTime, -1);
}

TEST_F(PowerSupplyTree, WithoutLinePowerTheBatteryStateDecides) {
  Supply("BAT0", {{"type", "Battery"}, {"status", "Discharging"}, {"capacity_level", "High"}});
  EXPECT_EQ(Read().acLineStatus, 0);
  fs::remove_all(root_ / "BAT0");
  Supply("BAT0", {{"type", "Battery"}, {"status", "Unknown"}});
  const PowerStatus s = Read();
  EXPECT_EQ(s.acLineStatus, 255);
  EXPECT_EQ(s.batteryFlag, kBatteryUnknown);
}

TEST_F(PowerSupplyTree, UsbChargerCountsAsLinePower) {
  Supply("AC", {{"type", "Mains"}, {"online", "0"}});
  Supply("ucsi-source-psy-USBC000:001", {{"type", "USB"}, {"online", "1"}});
  EXPECT_EQ(Read().acLineStatus, 1);
}

TEST(PowerSupply, MissingRootIsAFailedQuery) {
  PowerStatus status;
  status.batteryFlag = 42;
  EXPECT_FALSE(ReadPowerSupplyStatus("/nonexistent/power_supply", status));
  EXPECT_EQ(status.batteryFlag, 42);
}

}  // namespace
}  // namespace padflash
