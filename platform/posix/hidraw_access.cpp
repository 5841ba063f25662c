#include "platform/posix/hidraw_access.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace padflash {
namespace {

constexpr size_t kMaxUeventBytes = 16 * 1024;

// The vendor of "HID_ID=0003:00000488:00000101" in the node's uevent.
bool UeventVendor(const fs::path& uevent, uint32_t& vendor) {
  std::ifstream in(uevent, std::ios::binary);
  std::string text(kMaxUeventBytes, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  const size_t at = text.find("HID_ID=");
  if (at == std::string::npos) return false;
  const size_t colon = text.find(':', at);
  if (colon == std::string::npos) return false;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str() + colon + 1, &end, 16);
  if (end == text.c_str() + colon + 1 || *end != ':' || value > 0xFFFF) return false;
  vendor = static_cast<uint32_t>(value);
  return true;
}

bool RefusesThisUser(const std::string& node) {
  const int fd = open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd >= 0) {
    close(fd);
    return false;
  }
  return errno == EACCES || errno == EPERM;
}

}  // namespace

std::vector<std::string> UnopenableHidrawNodes(
    const std::string& sysfsRoot, const std::vector<uint16_t>& vendorIds,
    const std::function<bool(const std::string& node)>& openFails) {
  std::vector<std::string> nodes;
  std::error_code error;
  fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "hidraw", error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (!name.starts_with("hidraw")) continue;
    uint32_t vendor = 0;
    if (!UeventVendor(it->path() / "device" / "uevent", vendor) ||
        std::find(vendorIds.begin(), vendorIds.end(), vendor) == vendorIds.end()) {
      continue;
    }
    const std::string node = "/dev/" + name;
    if (openFails ? openFails(node) : RefusesThisUser(node)) nodes.push_back(node);
  }
  std::sort(nodes.begin(), nodes.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return nodes;
}

std::string HidrawAccessNotice(const std::vector<std::string>& nodes) {
  if (nodes.empty()) return {};
  char line[512];
  std::snprintf(line, sizeof line,
                "A controller is attached at %s%s, but this user may not open it: install the "
                "udev rule %s (lib/udev/rules.d, shipped with padflash), then attach the "
                "controller again.",
                nodes.front().c_str(), nodes.size() > 1 ? " and more" : "", kUdevRuleName);
  return line;
}

}  // namespace padflash
