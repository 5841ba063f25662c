#include "hidlib/report_trace.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace vlmhid::trace {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::kSet:
      return "SET";
    case Kind::kGet:
      return "GET";
    case Kind::kSetFail:
      return "SET-FAIL";
    case Kind::kGetFail:
      return "GET-FAIL";
    case Kind::kDevice:
    default:
      return "DEVICE";
  }
}

// The next blank-separated word; empty at the end.
std::string_view NextWord(std::string_view& text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  const size_t end = std::min(text.find(' '), text.size());
  const std::string_view word = text.substr(0, end);
  text.remove_prefix(end);
  return word;
}

bool ParseNumber(std::string_view word, int base, uint64_t limit, uint64_t& value) {
  if (word.empty() || word.size() > 20) return false;
  uint64_t result = 0;
  for (char c : word) {
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    if (result > (limit - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base)) {
      return false;
    }
    result = result * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
  }
  value = result;
  return true;
}

bool ParseHexBytes(std::string_view word, std::vector<uint8_t>& bytes) {
  if (word.size() % 2 != 0) return false;
  bytes.clear();
  bytes.reserve(word.size() / 2);
  for (size_t i = 0; i < word.size(); i += 2) {
    uint64_t value = 0;
    if (!ParseNumber(word.substr(i, 2), 16, 0xFF, value)) return false;
    bytes.push_back(static_cast<uint8_t>(value));
  }
  return true;
}

// <vid>:<pid>:<version>
bool ParseIds(std::string_view word, DeviceIdentity& identity) {
  uint64_t values[3] = {};
  for (int i = 0; i < 3; ++i) {
    const size_t colon = i < 2 ? word.find(':') : word.size();
    if (colon == std::string_view::npos) return false;
    if (!ParseNumber(word.substr(0, colon), 16, 0xFFFF, values[i])) return false;
    word.remove_prefix(std::min(colon + 1, word.size()));
  }
  identity.vendorId = static_cast<uint16_t>(values[0]);
  identity.productId = static_cast<uint16_t>(values[1]);
  identity.versionNumber = static_cast<uint16_t>(values[2]);
  return true;
}

}  // namespace

std::string FormatReport(uint64_t ms, Kind kind, std::string_view device, const uint8_t* report,
                         size_t length) {
  char head[48];
  std::snprintf(head, sizeof head, "%" PRIu64 " %s ", ms, KindName(kind));
  std::string line = head;
  line.append(device);
  line += ' ';
  line.reserve(line.size() + 2 * length);
  for (size_t i = 0; report != nullptr && i < length; ++i) {
    line += kDigits[report[i] >> 4];
    line += kDigits[report[i] & 0x0F];
  }
  return line;
}

std::string FormatDevice(uint64_t ms, std::string_view device, const DeviceIdentity& identity) {
  char ids[64];
  std::snprintf(ids, sizeof ids, " %x:%x:%x %u ", identity.vendorId, identity.productId,
                identity.versionNumber, identity.reportId);
  char head[48];
  std::snprintf(head, sizeof head, "%" PRIu64 " DEVICE ", ms);
  std::string line = head;
  line.append(device);
  line += ids;
  line += DeviceToken(identity.collection);
  line += ' ';
  for (char c : identity.product) line += (c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

bool Parse(std::string_view text, Line& line) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  Line parsed;
  uint64_t ms = 0;
  if (!ParseNumber(NextWord(text), 10, UINT64_MAX, ms)) return false;
  parsed.ms = ms;
  const std::string_view kind = NextWord(text);
  parsed.device = std::string(NextWord(text));
  if (parsed.device.empty()) return false;
  if (kind == "DEVICE") {
    parsed.kind = Kind::kDevice;
    uint64_t reportId = 0;
    if (!ParseIds(NextWord(text), parsed.identity) ||
        !ParseNumber(NextWord(text), 10, 0xFF, reportId)) {
      return false;
    }
    parsed.identity.reportId = static_cast<uint8_t>(reportId);
    parsed.identity.collection = std::string(NextWord(text));
    if (parsed.identity.collection.empty()) return false;
    if (!text.empty()) text.remove_prefix(1);
    parsed.identity.product = text.empty() ? "None" : std::string(text);
    line = std::move(parsed);
    return true;
  }
  if (kind == "SET") {
    parsed.kind = Kind::kSet;
  } else if (kind == "GET") {
    parsed.kind = Kind::kGet;
  } else if (kind == "SET-FAIL") {
    parsed.kind = Kind::kSetFail;
  } else if (kind == "GET-FAIL") {
    parsed.kind = Kind::kGetFail;
  } else {
    return false;
  }
  const std::string_view hex = NextWord(text);
  if (!NextWord(text).empty() || !ParseHexBytes(hex, parsed.report)) return false;
  line = std::move(parsed);
  return true;
}

std::string DeviceToken(std::string_view name) {
  if (name.empty()) return "-";
  std::string token(name);
  for (char& c : token) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) c = '_';
  }
  return token;
}

bool NamesNode(std::string_view device) {
  if (device == "-" || device.find('#') != std::string_view::npos) return true;
  constexpr std::string_view kHidraw = "hidraw";
  if (!device.starts_with(kHidraw) || device.size() == kHidraw.size()) return false;
  return device.substr(kHidraw.size()).find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace vlmhid::trace
