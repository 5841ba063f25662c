#include "session/unit_identity.h"

#include <string_view>

namespace padflash {
namespace {

// The serial a unit is known to show in one mode; empty when unknown or none.
std::string KnownSerial(const UnitIdentity& unit, bool bootloaderIds) {
  if (!bootloaderIds) return unit.serial;
  return unit.bootloaderSerialKnown ? unit.bootloaderSerial : std::string();
}

bool IsOneOf(const AttachedDevice& device, const std::vector<AttachedDevice>& others) {
  for (const AttachedDevice& other : others) {
    if (other.path == device.path && other.vendorId == device.vendorId &&
        other.productId == device.productId) {
      return true;
    }
    if (IsRealSerial(device.serial) && device.serial == other.serial) return true;
  }
  return false;
}

// The listed devices for which `fits` holds: found when exactly one,
// ambiguous when several, not decided when none.
template <typename Fits>
bool Pick(const std::vector<AttachedDevice>& listed, Fits fits, Identification& result,
          size_t& index) {
  size_t matches = 0;
  for (size_t i = 0; i < listed.size(); ++i) {
    if (!fits(listed[i])) continue;
    if (++matches == 1) index = i;
  }
  if (matches == 0) return false;
  result = matches == 1 ? Identification::kFound : Identification::kAmbiguous;
  return true;
}

void AppendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

}  // namespace

bool IsRealSerial(const std::string& serial) {
  return !serial.empty() && serial != "None";
}

bool StandsForController(const std::wstring& path) {
  return path.find(L"&col01") != std::wstring::npos || path.find(L"&col") == std::wstring::npos;
}

Identification IdentifyUnit(const std::vector<AttachedDevice>& listed, const UnitTrail& unit,
                            const std::vector<AttachedDevice>& others, bool bootloaderIds,
                            size_t& index) {
  Identification result = Identification::kNotPresent;
  const std::string serial = KnownSerial(unit.id, bootloaderIds);
  if (IsRealSerial(serial) &&
      Pick(
          listed, [&](const AttachedDevice& d) { return d.serial == serial; }, result, index)) {
    return result;
  }
  if (!unit.id.location.empty() &&
      Pick(
          listed, [&](const AttachedDevice& d) { return d.location == unit.id.location; }, result,
          index)) {
    return result;
  }
  if (!unit.path.empty() && Pick(
                                listed,
                                [&](const AttachedDevice& d) {
                                  return d.path == unit.path && d.vendorId == unit.vendorId &&
                                         d.productId == unit.productId;
                                },
                                result, index)) {
    return result;
  }
  // A device that shows another serial than the one the unit is known to
  // show in this mode is another unit.
  std::vector<size_t> strangers;
  for (size_t i = 0; i < listed.size(); ++i) {
    const bool otherSerial = IsRealSerial(serial) && IsRealSerial(listed[i].serial);
    if (!otherSerial && !IsOneOf(listed[i], others)) strangers.push_back(i);
  }
  if (strangers.empty()) return Identification::kNotPresent;
  // Several newcomers: none of them can be taken for the unit.
  if (listed.size() > 1) return Identification::kAmbiguous;
  index = strangers.front();
  return Identification::kFound;
}

bool CanBeToldApart(const UnitIdentity& unit, bool bootloaderIds,
                    const std::vector<AttachedDevice>& others) {
  if (others.empty()) return true;
  const std::string serial = KnownSerial(unit, bootloaderIds);
  if (IsRealSerial(serial)) {
    bool shared = false;
    for (const AttachedDevice& other : others) shared = shared || other.serial == serial;
    if (!shared) return true;
  }
  if (!unit.location.empty()) {
    bool shared = false;
    for (const AttachedDevice& other : others) shared = shared || other.location == unit.location;
    if (!shared) return true;
  }
  return false;
}

std::string Utf8FromWide(const std::wstring& text) {
  constexpr uint32_t kReplacement = 0xFFFD;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      c &= 0xFFFF;
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
        const uint32_t low = static_cast<uint32_t>(text[i + 1]) & 0xFFFF;
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if ((c >= 0xD800 && c < 0xE000) || c > 0x10FFFF) c = kReplacement;
    AppendUtf8(out, c);
  }
  return out;
}

}  // namespace padflash
