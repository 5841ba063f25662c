#include "platform/win32/win32_power_status.h"

#include <gtest/gtest.h>

namespace padflash {
namespace {

TEST(PowerStatusMapping, AnUnknownLifeTimeStaysUnknownInsteadOfTurningShort) {
  SYSTEM_POWER_STATUS status{0, kBatteryLow, 40, 0, 900, 7200};
  const PowerStatus low = ToPowerStatus(status);
  EXPECT_EQ(low.acLineStatus, 0);
  EXPECT_EQ(low.batteryFlag, kBatteryLow);
  EXPECT_EQ(low.batteryLifeTime, 900);
  for (DWORD unknown : {DWORD{0xFFFFFFFF}, DWORD{0x80000000}}) {
    status.BatteryLifeTime = unknown;
    EXPECT_EQ(ToPowerStatus(status).batteryLifeTime, -1) << unknown;
  }
}

}  // namespace
}  // namespace padflash
