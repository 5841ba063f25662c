// The device list: attached controllers the updater can work on, shown in
// combo box 1000, with the selected one's details in info box 1009.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "VLMHID.h"

namespace padflash {

struct Session;

struct DeviceListEntry {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;  // high byte chip ID, low byte firmware revision
  std::wstring productString;
  std::wstring serialNumberString;
  std::wstring devicePath;
};

using DeviceList = std::deque<DeviceListEntry>;

// Why the last refresh refused the attached devices, and the entry it
// refused (the second of two with the same IDs, or the "Bridge 1.8" one).
enum class DeviceRefusal { kNone, kBridge18, kDuplicateIds };
struct RefusedDevice {
  DeviceRefusal reason = DeviceRefusal::kNone;
  DeviceListEntry entry;
};

// Every interface the object enumerates under the filters, in the
// library's order (two passes: sizes, then the entries).
std::deque<DeviceListEntry> EnumerateDevices(VirtualVLMHIDInterface& enumerator,
                                             const DeviceFilter* filters, int filterCount);

// Rebuilds the list from a fresh enumeration. True when rebuilt without
// refusal (the list may still be empty); false when nothing was found or a
// device was refused.
bool RefreshDeviceList(Session& session);
// The index of the entry whose serial string or device path is `key`, or
// -1 when none is.
int FindDeviceEntry(const DeviceList& list, const std::string& key);
// Writes the selected entry's details into 1009; false (box emptied) when
// there is nothing to show.
bool ShowDeviceInfo(Session& session);

}  // namespace padflash
