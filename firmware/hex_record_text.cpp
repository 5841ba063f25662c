#include "firmware/hex_record_text.h"

#include <algorithm>
#include <cstdio>

namespace padflash {

std::string HexRecordText(uint8_t type, uint16_t address, const uint8_t* data, size_t count) {
  count = std::min<size_t>(count, 0xFF);
  char text[16];
  uint8_t sum = static_cast<uint8_t>(count + (address >> 8) + (address & 0xFF) + type);
  std::snprintf(text, sizeof text, ":%02X%04X%02X", static_cast<unsigned>(count), address, type);
  std::string line = text;
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(text, sizeof text, "%02X", data[i]);
    line += text;
    sum = static_cast<uint8_t>(sum + data[i]);
  }
  std::snprintf(text, sizeof text, "%02X", static_cast<uint8_t>(0 - sum));
  return line + text;
}

}  // namespace padflash
