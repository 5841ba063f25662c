// What sysfs tells about the hidraw nodes: for /sys/class/hidraw/hidrawN the
// HID device's uevent (HID_ID bus:vendor:product in hex), its report
// descriptor, its version number and the strings of the USB device above it.
//
// Version number: the HID device's own version, whatever the bus (for USB
// the bcdDevice, for I2C-HID the wVersionID of its HID descriptor). Newer
// kernels publish it as HID_FIRMWARE_VERSION in the uevent; otherwise the
// id/version of the HID device's input child holds it (hid-input copies it
// there). A device without an input child (vendor collections only) falls
// back to the bcdDevice of its USB device, else 0.
//
// Strings: the product and serial attributes of the USB device (UTF-8),
// empty when the device has none and for every other bus. HID_NAME is not a
// product string: the kernel composes it ("Manufacturer Product", or
// "HID vvvv:pppp" for a USB device without strings).
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
