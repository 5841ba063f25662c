// Attached HID devices the user may not open. Devices whose hidraw node
// refuses this user are invisible to the VLMHID library, so an empty device
// list may only mean that the udev rule granting access is not installed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace padflash {

inline constexpr const char* kUdevRuleName = "70-padflash.rules";

// The node paths ("/dev/hidraw3") of hidraw nodes under
// <sysfsRoot>/class/hidraw whose HID_ID vendor is one of `vendorIds` and
// whose node `openFails` says this user may not open (by default an open
// for reading and writing that fails with EACCES or EPERM).
std::vector<std::string> UnopenableHidrawNodes(
    const std::string& sysfsRoot, const std::vector<uint16_t>& vendorIds,
    const std::function<bool(const std::string& node)>& openFails = {});

// One line naming the first such node and the udev rule, or empty.
std::string HidrawAccessNotice(const std::vector<std::string>& nodes);

}  // namespace padflash
