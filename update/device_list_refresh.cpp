#include "update/device_list_refresh.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "session/session.h"
#include "session/unit_identity.h"

namespace padflash {

namespace {

// Converted strings, display lines and the info text stay within this.
constexpr size_t kTextBytes = 512;
constexpr int kDroppedWidthPixels = 600;
constexpr uint16_t kBootloaderProduct = 0xD0C0;
constexpr DeviceFilter kFilters[] = {{0x0488, 0, 0}, {0x044E, 0, 0}};
// Bounds on what an enumeration may ask us to allocate.
constexpr int kMaxEntries = 1024;
constexpr int kPathCharsLimit = 32768;

// A 512-byte text that cuts whatever does not fit.
class Text {
 public:
  void Append(const char* text) {
    const size_t n = std::min(std::strlen(text), kTextBytes - 1 - length_);
    std::memcpy(buffer_ + length_, text, n);
    length_ += n;
    buffer_[length_] = '\0';
  }
  void AppendFormat(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer_ + length_, kTextBytes - length_, format, args);
    va_end(args);
    if (n > 0) length_ = std::min(length_ + static_cast<size_t>(n), kTextBytes - 1);
  }
  bool Contains(const char* needle) const { return std::strstr(buffer_, needle) != nullptr; }
  const char* c_str() const { return buffer_; }

 private:
  char buffer_[kTextBytes] = {};
  size_t length_ = 0;
};

// Length of a wide string that may fill its buffer without a terminator.
size_t BoundedLength(const wchar_t* text, size_t capacity) {
  size_t n = 0;
  while (n < capacity && text[n] != L'\0') ++n;
  return n;
}

// The runtime's wide-to-multibyte conversion, at most 511 bytes and a
// terminator. False when a character has no 8-bit form; the caller then
// leaves the string out.
bool ToNarrow(const std::wstring& wide, Text& out) {
  char converted[kTextBytes];
  std::mbstate_t state{};
  const wchar_t* source = wide.c_str();
  const size_t n = std::wcsrtombs(converted, &source, kTextBytes - 1, &state);
  if (n == static_cast<size_t>(-1)) return false;
  converted[n] = '\0';
  out.Append(converted);
  return true;
}

// The enumeration's DeviceEntry records with their string buffers, owned
// here for the length of one refresh.
class TemporaryEntries {
 public:
  TemporaryEntries(int count, int pathChars)
      : pathChars_(pathChars),
        entries_(count),
        storage_(static_cast<size_t>(count) * (pathChars + 2 * kVLMHIDStringChars), L'\0') {
    wchar_t* next = storage_.data();
    for (DeviceEntry& entry : entries_) {
      entry = DeviceEntry{0, 0, 0, next, next + kVLMHIDStringChars, next + 2 * kVLMHIDStringChars};
      next += 2 * kVLMHIDStringChars + pathChars;
    }
  }
  DeviceEntry* data() { return entries_.data(); }
  int capacity() const { return static_cast<int>(entries_.size()); }

  // The entry's strings as owned copies, each bounded to its buffer (a
  // buffer filled to the end without a terminator is taken as it stands).
  DeviceListEntry Copy(int index) const {
    const DeviceEntry& e = entries_[index];
    DeviceListEntry copy;
    copy.vendorId = e.vendorId;
    copy.productId = e.productId;
    copy.versionNumber = e.versionNumber;
    copy.productString.assign(e.productString, BoundedLength(e.productString, kVLMHIDStringChars));
    copy.serialNumberString.assign(e.serialNumberString,
                                   BoundedLength(e.serialNumberString, kVLMHIDStringChars));
    copy.devicePath.assign(e.devicePath, BoundedLength(e.devicePath, pathChars_));
    return copy;
  }

 private:
  int pathChars_;
  std::vector<DeviceEntry> entries_;
  std::vector<wchar_t> storage_;
};

bool HasSameIds(const DeviceList& list, const DeviceListEntry& entry) {
  return std::any_of(list.begin(), list.end(), [&](const DeviceListEntry& listed) {
    return listed.vendorId == entry.vendorId && listed.productId == entry.productId;
  });
}

void ShowOwnedBox(Session& session, const char* caption) {
  session.window.ShowMessageBox(session.MessageBuffer, caption, MessageButtons::kOk, true);
}

// Nothing to list: the list is emptied and the user is told to attach a
// device.
// When controllers are attached that this user may not open, the box says
// so in one more line that tells how to grant access.
bool NoDevices(Session& session) {
  const std::string notice =
      session.system.DeviceAccessNotice({kFilters[0].vendorId, kFilters[1].vendorId});
  FormatText(session,
             "No compatible devices were detected. \r\n\nUse the refresh button after you have "
             "attached an appropriate device.%s%s",
             notice.empty() ? "" : "\r\n\n", notice.c_str());
  ShowOwnedBox(session, "No Devices Attched");
  session.window.Show(kIdExecute, false);
  session.window.SetText(kIdDeviceInfo, "");
  return false;
}

// A refused device empties the list, whatever was found before it.
bool Refuse(Session& session, DeviceRefusal reason, DeviceListEntry entry) {
  session.refusedDevice = {reason, std::move(entry)};
  session.selectedDevice = -1;
  session.window.ComboSelect(kIdDeviceCombo, -1);
  session.window.ComboClear(kIdDeviceCombo);
  session.deviceList.clear();
  session.window.SetText(kIdDeviceInfo, "");
  return false;
}

}  // namespace

DeviceList EnumerateDevices(VirtualVLMHIDInterface& enumerator, const DeviceFilter* filters,
                            int filterCount) {
  int count = 0;
  int maxPathBytes = 0;
  enumerator.EnumDevices(filters, filterCount, nullptr, &count, &maxPathBytes);
  if (count <= 0) return {};

  // The first pass's path size is used in wide characters. The second pass
  // gets that capacity in maxPathBytes, so a device that appeared in between
  // with a longer path is cut to the buffer instead of running past it.
  const int capacity = std::min(count, kMaxEntries);
  const int pathChars = std::clamp(maxPathBytes, 1, kPathCharsLimit);
  TemporaryEntries temporary(capacity, pathChars);
  count = capacity;
  maxPathBytes = pathChars;
  enumerator.EnumDevices(filters, filterCount, temporary.data(), &count, &maxPathBytes);
  const int filled = std::clamp(count, 0, capacity);
  DeviceList entries;
  for (int i = 0; i < filled; ++i) entries.push_back(temporary.Copy(i));
  return entries;
}

// The combo box of the window port always exists while the engine runs, so
// the refresh never meets a combo box that is not a window.
bool RefreshDeviceList(Session& session) {
  WindowPort& window = session.window;
  window.ComboClear(kIdDeviceCombo);
  session.deviceList.clear();
  session.refusedDevice = {};
  window.ComboSetDroppedWidth(kIdDeviceCombo, kDroppedWidthPixels);

  // A throw-away object, used for this enumeration only. Without one there
  // is nothing to enumerate with, which looks to the user like no devices.
  std::unique_ptr<VirtualVLMHIDInterface> enumerator(session.createInterface());
  if (!enumerator) return NoDevices(session);

  const int filterCount = static_cast<int>(std::size(kFilters));
  DeviceList enumerated = EnumerateDevices(*enumerator, kFilters, filterCount);
  if (enumerated.empty()) return NoDevices(session);

  for (DeviceListEntry& entry : enumerated) {
    Text line;
    line.AppendFormat("0x%X - 0x%X - 0x%X -", entry.vendorId, entry.productId, entry.versionNumber);
    Text product;
    const bool hasProduct = ToNarrow(entry.productString, product);
    if (hasProduct) {
      line.Append(product.c_str());
      line.Append(" - ");
    }
    Text serial;
    if (ToNarrow(entry.serialNumberString, serial)) line.Append(serial.c_str());

    if (hasProduct && product.Contains("Bridge 1.8")) {
      FormatText(session,
                 "An invalid Bridge version 1.8 was found attached to this computer. \r\n\n %X - "
                 "%X\r\n\nRemove the device then refresh the device list.",
                 entry.vendorId, entry.productId);
      ShowOwnedBox(session, "Incompatible Device Found");
      return Refuse(session, DeviceRefusal::kBridge18, std::move(entry));
    }

    // The first top-level collection stands for the device; the bootloader
    // has only one collection.
    Text path;
    const bool firstCollection = ToNarrow(entry.devicePath, path) && path.Contains("&col01");
    if (!firstCollection && entry.productId != kBootloaderProduct) continue;

    if (HasSameIds(session.deviceList, entry)) {
      FormatText(session,
                 "Identical VID/PID combinations were found attached to this computer. \r\n\n %X "
                 "- %X\r\n\nRemove one of them and refresh the device list.",
                 entry.vendorId, entry.productId);
      ShowOwnedBox(session, "Duplicate Devices Found");
      return Refuse(session, DeviceRefusal::kDuplicateIds, std::move(entry));
    }

    window.ComboAddItem(kIdDeviceCombo, line.c_str());
    session.deviceList.push_back(std::move(entry));
  }

  session.selectedDevice = 0;
  window.ComboSelect(kIdDeviceCombo, 0);
  ShowDeviceInfo(session);
  return true;
}

int FindDeviceEntry(const DeviceList& list, const std::string& key) {
  if (key.empty()) return -1;
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string serial = Utf8FromWide(list[i].serialNumberString);
    if ((IsRealSerial(serial) && serial == key) || Utf8FromWide(list[i].devicePath) == key) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool ShowDeviceInfo(Session& session) {
  const DeviceList& list = session.deviceList;
  if (session.selectedDevice == -1) {
    if (list.empty()) {
      session.window.SetText(kIdDeviceInfo, "");
      return false;
    }
    // The combo box shows entry 0 from here on, and the index follows it so
    // that both name the same device.
    session.selectedDevice = 0;
    session.window.ComboSelect(kIdDeviceCombo, 0);
  }
  if (session.selectedDevice < 0 || static_cast<size_t>(session.selectedDevice) >= list.size()) {
    session.window.SetText(kIdDeviceInfo, "");
    return false;
  }

  const DeviceListEntry& entry = list[session.selectedDevice];
  Text info;
  info.AppendFormat("VendorID: 0x%X ProductID: 0x%X VersionID: 0x%X\r\n", entry.vendorId,
                    entry.productId, entry.versionNumber);
  if (ToNarrow(entry.productString, info)) info.Append("\r\n");
  if (ToNarrow(entry.serialNumberString, info)) info.Append("\r\n");
  ToNarrow(entry.devicePath, info);
  session.window.SetText(kIdDeviceInfo, info.c_str());
  return true;
}

}  // namespace padflash
