// One bootloader command or reply: a 531-byte buffer moved as a HID feature
// report (the library puts the connection's report ID in front, so the device
// sees 532 bytes). Multi-byte fields are little-endian, except the status
// sentinel, which is read high byte first.
#pragma once

#include <array>
#include <cstdint>

#include "update/bootloader_protocol.h"

namespace padflash {

using ReportFrame = std::array<uint8_t, kReportSize>;

inline void PutLe16(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value);
  at[1] = static_cast<uint8_t>(value >> 8);
}

inline void PutLe32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint16_t GetLe16(const uint8_t* at) {
  return static_cast<uint16_t>(at[0] | (at[1] << 8));
}

inline uint32_t GetLe32(const uint8_t* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 |
         static_cast<uint32_t>(at[2]) << 16 | static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace padflash
