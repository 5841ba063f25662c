// The device list's records: the attached controllers the updater can work
// on, as the session keeps them (filled by update/device_list_refresh.h).
#pragma once

#include <cstdint>
#include <deque>
#include <string>

namespace padflash {

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

}  // namespace padflash
