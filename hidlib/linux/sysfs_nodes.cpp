#include "hidlib/linux/sysfs_nodes.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace vlmhid::hidraw {
namespace {

constexpr size_t kMaxUeventBytes = 16 * 1024;
constexpr size_t kMaxAttributeBytes = 64;
constexpr int kMaxParentSteps = 32;
// A USB string descriptor holds at most 126 UTF-16 units: 378 bytes of UTF-8.
constexpr size_t kMaxUsbStringBytes = 512;
constexpr size_t kMaxUniqBytes = 64;  // the kernel's hid_device.uniq

// Reads at most `limit` bytes of a sysfs attribute; false when unreadable.
bool ReadFile(const fs::path& path, size_t limit, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content.assign(limit, '\0');
  in.read(content.data(), static_cast<std::streamsize>(limit));
  content.resize(static_cast<size_t>(in.gcount()));
  return !in.bad();
}

// Parses exactly one hexadecimal number filling `text` (surrounding
// whitespace allowed).
bool ParseHex(std::string_view text, uint32_t& value) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.remove_suffix(1);
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  if (text.empty() || text.size() > 8) return false;
  uint32_t result = 0;
  for (char c : text) {
    uint32_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<uint32_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<uint32_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<uint32_t>(c - 'A' + 10);
    } else {
      return false;
    }
    result = result << 4 | digit;
  }
  value = result;
  return true;
}

// HID_ID=0003:00000488:00000101
bool ParseHidId(std::string_view text, HidrawNode& node) {
  const size_t first = text.find(':');
  const size_t second = first == std::string_view::npos ? first : text.find(':', first + 1);
  if (second == std::string_view::npos) return false;
  uint32_t bus, vendor, product;
  if (!ParseHex(text.substr(0, first), bus) ||
      !ParseHex(text.substr(first + 1, second - first - 1), vendor) ||
      !ParseHex(text.substr(second + 1), product) || vendor > 0xFFFF || product > 0xFFFF) {
    return false;
  }
  node.bus = bus;
  node.vendorId = static_cast<uint16_t>(vendor);
  node.productId = static_cast<uint16_t>(product);
  return true;
}

// HID_ID, and the version number when the kernel publishes it
// (HID_FIRMWARE_VERSION, newer kernels).
bool ParseUevent(std::string_view uevent, HidrawNode& node, bool& haveVersion, std::string& uniq) {
  bool haveId = false;
  while (!uevent.empty()) {
    const size_t end = std::min(uevent.find('\n'), uevent.size());
    const std::string_view line = uevent.substr(0, end);
    uevent.remove_prefix(std::min(end + 1, uevent.size()));
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, equals);
    const std::string_view value = line.substr(equals + 1);
    if (key == "HID_ID") {
      haveId = ParseHidId(value, node);
    } else if (key == "HID_UNIQ") {
      uniq.assign(value.substr(0, kMaxUniqBytes));
    } else if (key == "HID_FIRMWARE_VERSION") {
      uint32_t version = 0;
      std::string_view digits = value;
      if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
      if (ParseHex(digits, version) && version <= 0xFFFF) {
        node.versionNumber = static_cast<uint16_t>(version);
        haveVersion = true;
      }
    }
  }
  return haveId;
}

// The USB device holding the HID device: the first directory above it with
// an idVendor, not leaving the sysfs tree. Empty when there is none (I2C-HID,
// Bluetooth, virtual devices).
fs::path UsbDevice(const fs::path& sysfsRoot, const fs::path& hidDevice) {
  std::error_code error;
  const fs::path root = fs::canonical(sysfsRoot, error);
  if (error) return {};
  fs::path dir = fs::canonical(hidDevice, error);
  if (error) return {};
  for (int step = 0; step < kMaxParentSteps; ++step) {
    dir = dir.parent_path();
    if (dir == root || dir == dir.root_path() || dir.empty()) break;
    if (fs::exists(dir / "idVendor", error)) return dir;
  }
  return {};
}

// A hexadecimal attribute of at most 16 bits (id/version, bcdDevice).
bool ReadVersionFile(const fs::path& path, uint16_t& version) {
  std::string text;
  uint32_t value = 0;
  if (!ReadFile(path, kMaxAttributeBytes, text) || !ParseHex(text, value) || value > 0xFFFF) {
    return false;
  }
  version = static_cast<uint16_t>(value);
  return true;
}

// The version the HID core gave the device's input devices (hid-input copies
// the HID device's own version into each): the first input child's
// id/version. False when the device has no input child (a collection of
// vendor usages only).
bool InputChildVersion(const fs::path& hidDevice, uint16_t& version) {
  std::error_code error;
  std::vector<std::string> inputs;
  fs::directory_iterator it(hidDevice / "input", error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with("input")) inputs.push_back(name);
  }
  std::sort(inputs.begin(), inputs.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  for (const std::string& name : inputs) {
    if (ReadVersionFile(hidDevice / "input" / name / "id" / "version", version)) return true;
  }
  return false;
}

// A USB string attribute (product, serial), UTF-8 with a line end; empty
// when the device has no such string.
std::wstring ReadUsbString(const fs::path& path) {
  std::string text;
  if (!ReadFile(path, kMaxUsbStringBytes, text)) return {};
  while (!text.empty() && (text.back() == '\n' || text.back() == '\0')) text.pop_back();
  return WideFromUtf8(text);
}

}  // namespace

bool IsHidrawName(std::string_view name) {
  constexpr std::string_view kPrefix = "hidraw";
  if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 9) return false;
  if (name.substr(0, kPrefix.size()) != kPrefix) return false;
  return std::all_of(name.begin() + kPrefix.size(), name.end(),
                     [](char c) { return c >= '0' && c <= '9'; });
}

std::vector<std::string> ListHidrawNodes(const std::string& sysfsRoot) {
  std::vector<std::string> names;
  std::error_code error;
  fs::directory_iterator it(fs::path(sysfsRoot) / "class" / "hidraw", error);
  for (; !error && it != fs::directory_iterator(); it.increment(error)) {
    std::string name = it->path().filename().string();
    if (IsHidrawName(name)) names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

bool ReadHidrawNode(const std::string& sysfsRoot, const std::string& name, HidrawNode& node) {
  if (!IsHidrawName(name)) return false;
  const fs::path device = fs::path(sysfsRoot) / "class" / "hidraw" / name / "device";
  std::string uevent;
  HidrawNode read;
  read.name = name;
  bool haveVersion = false;
  std::string uniq;
  if (!ReadFile(device / "uevent", kMaxUeventBytes, uevent) ||
      !ParseUevent(uevent, read, haveVersion, uniq)) {
    return false;
  }
  std::string descriptor;
  if (ReadFile(device / "report_descriptor", kMaxReportDescriptorBytes, descriptor)) {
    read.collections = ParseReportDescriptor(reinterpret_cast<const uint8_t*>(descriptor.data()),
                                             descriptor.size());
  }
  const fs::path usb = read.bus == kBusUsb ? UsbDevice(sysfsRoot, device) : fs::path();
  if (!haveVersion && !InputChildVersion(device, read.versionNumber) && !usb.empty()) {
    ReadVersionFile(usb / "bcdDevice", read.versionNumber);
  }
  if (!usb.empty()) {
    read.product = ReadUsbString(usb / "product");
    read.serial = ReadUsbString(usb / "serial");
  }
  // A device with no USB parent to ask (I2C-HID, Bluetooth, uhid) shows the
  // serial its driver gave the kernel, if any; a USB device's is the same
  // string.
  if (read.serial.empty()) read.serial = WideFromUtf8(uniq);
  node = std::move(read);
  return true;
}

std::wstring WideFromUtf8(std::string_view text) {
  constexpr wchar_t kReplacement = 0xFFFD;
  std::wstring wide;
  wide.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    size_t extra = 0;
    uint32_t code = 0;
    uint32_t minimum = 0;
    if (lead < 0x80) {
      code = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      extra = 1, code = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      extra = 2, code = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      extra = 3, code = lead & 0x07, minimum = 0x10000;
    } else {
      wide.push_back(kReplacement);
      ++i;
      continue;
    }
    size_t taken = 1;
    while (taken <= extra && i + taken < text.size() &&
           (static_cast<unsigned char>(text[i + taken]) & 0xC0) == 0x80) {
      code = code << 6 | (static_cast<unsigned char>(text[i + taken]) & 0x3F);
      ++taken;
    }
    const bool complete = taken == extra + 1;
    const bool valid =
        complete && code >= minimum && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF);
    wide.push_back(valid ? static_cast<wchar_t>(code) : kReplacement);
    i += taken;
  }
  return wide;
}

}  // namespace vlmhid::hidraw
