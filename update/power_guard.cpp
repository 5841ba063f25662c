// The power guard of the update session: an update must not start, nor
// program, on a battery that may run out before it ends.
#include "session/session.h"
#include "update/update_session.h"

namespace padflash {
namespace {

constexpr int32_t kMinimumLifeSeconds = 1200;  // 20 minutes
constexpr int kResultLowBattery = 27;

// A battery that is low or critical and not charging is as good as one with
// no capacity flag at all: only its life time may still let the update run.
bool BatteryNeedsLifeTimeTest(uint8_t flag) {
  if (flag == 0) return true;
  if (flag == kBatteryUnknown || (flag & kBatteryNone) != 0) return false;
  return (flag & (kBatteryLow | kBatteryCritical)) != 0 && (flag & kBatteryCharging) == 0;
}

}  // namespace

int CheckPowerSource(Session& session) {
  PowerStatus power;
  if (!session.system.GetPowerStatus(power) || power.acLineStatus != 0) return 0;
  Print(session, "WARNING AC : %d AC Power not Online\r\n", power.acLineStatus);

  if (!BatteryNeedsLifeTimeTest(power.batteryFlag)) return 0;
  PrintStatus(session,
              "WARNING Battery Flag: %d Not High battery capacity remaining or Not Charging\r\n",
              power.batteryFlag);

  // An unknown life time (negative) counts as long enough.
  if (power.batteryLifeTime < 0 || power.batteryLifeTime >= kMinimumLifeSeconds) return 0;
  Print(session,
        "CRITICAL ERROR Battery LifeTime: %d Less than 20 minutes of battery life remaining\r\n",
        power.batteryLifeTime);
  session.UpdateResult = kResultLowBattery;
  return kExitFailure;
}

}  // namespace padflash
