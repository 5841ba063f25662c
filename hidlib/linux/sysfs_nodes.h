// What sysfs tells about the hidraw nodes: for /sys/class/hidraw/hidrawN the
// HID device's uevent (HID_ID bus:vendor:product in hex, HID_NAME, HID_UNIQ),
// its report descriptor, and for USB devices the version number, which is
// the bcdDevice of the USB device above the HID device.
//
// Version numbers: only USB exposes one. Devices on other buses (I2C-HID,
// Bluetooth, virtual devices) report 0; I2C-HID keeps its wVersionID inside
// the HID descriptor, which the kernel does not publish.
//
// Strings: HID_NAME is the product string (for USB devices the kernel builds
// it from the manufacturer and product strings), HID_UNIQ the serial number;
// both are UTF-8 and empty when the device has none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hidlib/linux/report_descriptor.h"

namespace vlmhid::hidraw {

inline constexpr uint32_t kBusUsb = 0x03;
inline constexpr uint32_t kBusI2c = 0x18;
// The kernel's limit on a report descriptor.
inline constexpr size_t kMaxReportDescriptorBytes = 4096;

struct HidrawNode {
  std::string name;  // "hidraw3"
  uint32_t bus = 0;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
  std::wstring product;  // empty: none
  std::wstring serial;   // empty: none
  std::vector<TopLevelCollection> collections;
};

// Names of the hidraw nodes under <sysfsRoot>/class/hidraw in the order of
// their numbers.
std::vector<std::string> ListHidrawNodes(const std::string& sysfsRoot);

// Reads the record of one node; false when its uevent has no valid HID_ID.
// A missing or unreadable report descriptor leaves `collections` empty.
bool ReadHidrawNode(const std::string& sysfsRoot, const std::string& name, HidrawNode& node);

// "hidraw" followed by decimal digits only.
bool IsHidrawName(std::string_view name);

// UTF-8 to wide characters; invalid sequences become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);

}  // namespace vlmhid::hidraw
