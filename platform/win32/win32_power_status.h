// The fields of SYSTEM_POWER_STATUS that the update uses.
#pragma once

#include <windows.h>

#include "platform/system_port.h"

namespace padflash {

// AC line status and battery flag pass unchanged; a battery life time that
// is unknown (0xFFFFFFFF) or beyond the int range becomes -1 (unknown).
PowerStatus ToPowerStatus(const SYSTEM_POWER_STATUS& status);

}  // namespace padflash
