#include "platform/win32/win32_power_status.h"

#include <gtest/gtest.h>

namespace padflash {
namespace {

SYSTEM_POWER_STATUS Status(BYTE acLine, BYTE batteryFlag, DWORD lifeTime) {
  SYSTEM_POWER_STATUS status{};
  status.ACLineStatus = acLine;
  status.BatteryFlag = batteryFlag;
  status.BatteryLifePercent = 40;
  status.BatteryLifeTime = lifeTime;
  status.BatteryFullLifeTime = 7200;
  return status;
}

TEST(PowerStatusMapping, KeepsLineAndFlagAndMakesAnUnknownLifeTimeNegative) {
  const PowerStatus low = ToPowerStatus(Status(0, kBatteryLow, 900));
  EXPECT_EQ(low.acLineStatus, 0);
  EXPECT_EQ(low.batteryFlag, kBatteryLow);
  EXPECT_EQ(low.batteryLifeTime, 900);

  // 0xFFFFFFFF is Windows' "unknown"; read as a u32 it would be a very long
  // life, read as an int it must not turn into a short one.
  const PowerStatus unknown = ToPowerStatus(Status(255, kBatteryUnknown, 0xFFFFFFFF));
  EXPECT_EQ(unknown.acLineStatus, 255);
  EXPECT_EQ(unknown.batteryFlag, kBatteryUnknown);
  EXPECT_EQ(unknown.batteryLifeTime, -1);
  EXPECT_EQ(ToPowerStatus(Status(0, 0, 0x80000000)).batteryLifeTime, -1);
  EXPECT_EQ(ToPowerStatus(Status(0, kBatteryCritical | kBatteryCharging, 0)).batteryLifeTime, 0);
}

}  // namespace
}  // namespace padflash
