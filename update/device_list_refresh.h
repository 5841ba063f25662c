// Filling the device list from a fresh enumeration: the attached
// controllers the updater can work on, shown in combo box 1000, with the
// selected one's details in info box 1009.
#pragma once

#include <deque>
#include <string>

#include "VLMHID.h"
#include "session/device_list.h"

namespace padflash {

struct Session;

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
