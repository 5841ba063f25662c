#include "platform/posix/device_location.h"

#include <climits>
#include <cstdlib>
#include <string_view>

namespace padflash {
namespace {

constexpr std::string_view kUsbBus = "0003:";
constexpr std::string_view kI2cBus = "0018:";

// The node name of an interface path: "hidraw3" of "/dev/hidraw3&col02".
std::string NodeName(const std::string& devDirectory, const std::wstring& path) {
  const std::wstring prefix(devDirectory.begin(), devDirectory.end());
  if (path.size() <= prefix.size() + 1 || path.compare(0, prefix.size(), prefix) != 0 ||
      path[prefix.size()] != L'/') {
    return {};
  }
  std::string name;
  for (size_t i = prefix.size() + 1; i < path.size() && path[i] != L'&'; ++i) {
    if (path[i] <= L' ' || path[i] >= 0x7F || path[i] == L'/') return {};
    name.push_back(static_cast<char>(path[i]));
  }
  if (name.rfind("hidraw", 0) != 0) return {};
  return name;
}

std::string Parent(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

std::string LastPart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::string HidrawDeviceLocation(const std::string& sysfsRoot, const std::string& devDirectory,
                                 const std::wstring& devicePath) {
  const std::string node = NodeName(devDirectory, devicePath);
  if (node.empty()) return {};
  char resolved[PATH_MAX];
  const std::string link = sysfsRoot + "/class/hidraw/" + node + "/device";
  if (realpath(link.c_str(), resolved) == nullptr) return {};
  char root[PATH_MAX];
  if (realpath(sysfsRoot.c_str(), root) == nullptr) return {};
  const std::string hidDevice = resolved;
  const std::string rootPath = root;
  if (hidDevice.compare(0, rootPath.size(), rootPath) != 0) return {};
  if (hidDevice.find("/devices/virtual/") != std::string::npos) return {};

  // The HID device is named "BBBB:VVVV:PPPP.NNNN"; a USB one sits below its
  // USB interface ("1-2:1.0"), whose parent is the USB device on its port.
  const std::string name = LastPart(hidDevice);
  std::string place;
  if (name.compare(0, kUsbBus.size(), kUsbBus) == 0) {
    place = Parent(Parent(hidDevice));
  } else if (name.compare(0, kI2cBus.size(), kI2cBus) == 0) {
    place = Parent(hidDevice);
  }
  if (place.size() <= rootPath.size()) return {};
  return place.substr(rootPath.size());
}

}  // namespace padflash
