#include "platform/win32/win32_power_status.h"

#include <cstdint>
#include <limits>

namespace padflash {

PowerStatus ToPowerStatus(const SYSTEM_POWER_STATUS& status) {
  PowerStatus power;
  power.acLineStatus = status.ACLineStatus;
  power.batteryFlag = status.BatteryFlag;
  const DWORD lifeTime = status.BatteryLifeTime;
  power.batteryLifeTime = lifeTime > static_cast<DWORD>(std::numeric_limits<int32_t>::max())
                              ? -1
                              : static_cast<int32_t>(lifeTime);
  return power;
}

}  // namespace padflash
