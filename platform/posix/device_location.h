// Where a hidraw node's HID device sits: the USB device (its port path, as
// "/devices/pci0000:00/0000:00:14.0/usb1/1-2") or the I2C client
// ("/devices/.../i2c-ELAN0001:00") above it. A controller that restarts
// into its bootloader comes back as another HID device, under other IDs and
// often on another node, but on the same port or bus address; so this tells
// units of one model apart where their strings cannot.
#pragma once

#include <string>

namespace padflash {

// The location under <sysfsRoot> of the HID device of an interface path
// "<devDirectory>/hidrawN" or "<devDirectory>/hidrawN&colMM", relative to
// sysfsRoot; empty for another path, a node that is gone and for virtual
// devices (uhid), which have no place of their own.
std::string HidrawDeviceLocation(const std::string& sysfsRoot, const std::string& devDirectory,
                                 const std::wstring& devicePath);

}  // namespace padflash
