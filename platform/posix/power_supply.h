// The power status of a Linux machine, read from the kernel's power_supply
// class (/sys/class/power_supply): line-power supplies (Mains, USB, Wireless)
// report `online`; system batteries report `status`, `capacity_level` or
// `capacity`, and `time_to_empty_now` or `energy_now`/`power_now`
// (`charge_now`/`current_now`). Batteries of peripherals (scope Device) are
// not the machine's and are left out.
#pragma once

#include <string>

#include "platform/system_port.h"

namespace padflash {

inline constexpr const char* kPowerSupplyRoot = "/sys/class/power_supply";

// Maps the supplies under `root` to the AC line status, battery flag and
// remaining life time. False only when `root` cannot be listed.
bool ReadPowerSupplyStatus(const std::string& root, PowerStatus& status);

}  // namespace padflash
