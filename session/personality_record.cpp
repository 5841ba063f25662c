#include "session/personality_record.h"

#include <cstdio>
#include <cstdlib>

namespace padflash {
namespace {

constexpr std::string_view kFirstLine = "padflash unit record 1";

std::string Escape(const std::string& value) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (c < 0x20 || c == 0x7F || c == '%' || c == '=') {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0x0F];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool Unescape(std::string_view value, std::string& out) {
  out.clear();
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out += value[i];
      continue;
    }
    if (i + 2 >= value.size()) return false;
    const int high = HexDigit(value[i + 1]);
    const int low = HexDigit(value[i + 2]);
    if (high < 0 || low < 0) return false;
    out += static_cast<char>(high << 4 | low);
    i += 2;
  }
  return true;
}

// A decimal or 0x-prefixed number up to `max`.
bool ParseNumber(std::string_view text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 20) return false;
  const std::string copy(text);
  char* end = nullptr;
  const bool hex = copy.size() > 2 && copy[0] == '0' && (copy[1] == 'x' || copy[1] == 'X');
  if (copy[0] == '-' || copy[0] == '+' || copy[0] == ' ') return false;
  value = std::strtoull(copy.c_str(), &end, hex ? 16 : 10);
  return end != nullptr && *end == '\0' && value <= max;
}

// "a b c" into up to three numbers.
bool ParseNumbers(std::string_view text, uint64_t max, uint64_t* values, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const size_t space = text.find(' ');
    const std::string_view word = text.substr(0, space);
    if (!ParseNumber(word, max, values[i])) return false;
    if (i + 1 == count) return space == std::string_view::npos;
    if (space == std::string_view::npos) return false;
    text.remove_prefix(space + 1);
  }
  return true;
}

bool TakeLine(PersonalityRecord& r, std::string_view key, const std::string& value) {
  uint64_t n[3] = {};
  if (key == "serial") {
    r.unit.serial = value;
  } else if (key == "bootloaderSerial") {
    r.unit.bootloaderSerialKnown = true;
    r.unit.bootloaderSerial = value;
  } else if (key == "location") {
    r.unit.location = value;
  } else if (key == "path") {
    r.path = value;
  } else if (key == "ids") {
    if (!ParseNumbers(value, 0xFFFF, n, 3)) return false;
    r.vendorId = static_cast<uint16_t>(n[0]);
    r.productId = static_cast<uint16_t>(n[1]);
    r.versionNumber = static_cast<uint16_t>(n[2]);
  } else if (key == "saved") {
    r.saved = value;
  } else if (key == "sequence") {
    if (!ParseNumber(value, 0xFFFFFFFF, n[0])) return false;
    r.sequence = static_cast<uint32_t>(n[0]);
  } else if (key == "compTable") {
    if (!ParseNumbers(value, 0xFFFFFFFF, n, 2)) return false;
    r.compTableSize = static_cast<uint32_t>(n[0]);
    r.compTableSum = static_cast<uint32_t>(n[1]);
  }
  return true;
}

// Serial evidence: this unit, another, or nothing to go by.
enum class Evidence { kSame, kDifferent, kNone };

Evidence CompareSerials(const std::string& recorded, const std::string& shown) {
  const bool recordedReal = IsRealSerial(recorded);
  const bool shownReal = IsRealSerial(shown);
  if (!recordedReal && !shownReal) return Evidence::kNone;
  if (recordedReal != shownReal) return Evidence::kDifferent;
  return recorded == shown ? Evidence::kSame : Evidence::kDifferent;
}

Evidence SerialEvidence(const UnitIdentity& recorded, const UnitIdentity& unit,
                        bool unitInBootloader) {
  if (!unitInBootloader) return CompareSerials(recorded.serial, unit.serial);
  if (!unit.bootloaderSerialKnown) return Evidence::kNone;
  if (recorded.bootloaderSerialKnown) {
    return CompareSerials(recorded.bootloaderSerial, unit.bootloaderSerial);
  }
  // Its bootloader was never seen: one that shows the firmware's serial
  // names the unit; any other tells nothing.
  if (IsRealSerial(unit.bootloaderSerial) && unit.bootloaderSerial == recorded.serial) {
    return Evidence::kSame;
  }
  return Evidence::kNone;
}

}  // namespace

std::string RecordPathFor(const std::string& personalityPath) {
  return personalityPath + ".unit";
}

std::string EncodeRecord(const PersonalityRecord& r) {
  char numbers[96];
  std::string text(kFirstLine);
  text += "\n";
  text += "serial=" + Escape(r.unit.serial) + "\n";
  if (r.unit.bootloaderSerialKnown) {
    text += "bootloaderSerial=" + Escape(r.unit.bootloaderSerial) + "\n";
  }
  if (!r.unit.location.empty()) text += "location=" + Escape(r.unit.location) + "\n";
  text += "path=" + Escape(r.path) + "\n";
  std::snprintf(numbers, sizeof numbers, "ids=0x%X 0x%X 0x%X\n", unsigned{r.vendorId},
                unsigned{r.productId}, unsigned{r.versionNumber});
  text += numbers;
  text += "saved=" + Escape(r.saved) + "\n";
  std::snprintf(numbers, sizeof numbers, "sequence=%u\ncompTable=%u 0x%08X\n",
                static_cast<unsigned>(r.sequence), static_cast<unsigned>(r.compTableSize),
                static_cast<unsigned>(r.compTableSum));
  text += numbers;
  return text;
}

bool DecodeRecord(std::string_view text, PersonalityRecord& record) {
  PersonalityRecord r;
  bool first = true;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (first) {
      if (line != kFirstLine) return false;
      first = false;
      continue;
    }
    if (line.empty()) continue;
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) return false;
    std::string value;
    if (!Unescape(line.substr(equals + 1), value)) return false;
    if (!TakeLine(r, line.substr(0, equals), value)) return false;
  }
  if (first) return false;
  record = std::move(r);
  return true;
}

UnitMatch MatchRecord(const PersonalityRecord* record, const UnitIdentity& unit,
                      bool unitInBootloader) {
  if (record == nullptr) return UnitMatch::kUnknownUnit;
  const bool locations = !record->unit.location.empty() && !unit.location.empty();
  if (locations && record->unit.location != unit.location) return UnitMatch::kOtherUnit;
  switch (SerialEvidence(record->unit, unit, unitInBootloader)) {
    case Evidence::kSame:
      return UnitMatch::kThisUnit;
    case Evidence::kDifferent:
      return UnitMatch::kOtherUnit;
    case Evidence::kNone:
      break;
  }
  return locations ? UnitMatch::kThisUnit : UnitMatch::kUnknownUnit;
}

std::string DateOfPersonalityFile(const std::string& path) {
  const size_t slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  int date = 0;
  int time = 0;
  if (std::sscanf(name.c_str(), "sf%8d_%6d", &date, &time) != 2 || date < 10000101) return {};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", date / 10000,
                date / 100 % 100, date % 100, time / 10000, time / 100 % 100, time % 100);
  return text;
}

}  // namespace padflash
