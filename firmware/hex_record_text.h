// Writing Intel HEX: one record as its text line, the inverse of what
// HexFile parses. The firmware generator writes its images with it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace padflash {

// ":" count, address, type, the data and the checksum in upper-case hex,
// without a line end. At most 255 data bytes.
std::string HexRecordText(uint8_t type, uint16_t address, const uint8_t* data, size_t count);
inline std::string HexRecordText(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  return HexRecordText(type, address, data.data(), data.size());
}

}  // namespace padflash
