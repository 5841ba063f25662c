#include "update/image_commands.h"

#include <algorithm>
#include <cstring>

namespace padflash {
namespace {

void PutU16(CommandBuffer& buffer, size_t at, uint16_t value) {
  buffer[at] = static_cast<uint8_t>(value);
  buffer[at + 1] = static_cast<uint8_t>(value >> 8);
}

void PutU32(CommandBuffer& buffer, size_t at, uint32_t value) {
  for (size_t i = 0; i < 4; ++i) buffer[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Offset of the data of a write-data command.
constexpr size_t kWriteDataHeader = 9;
static_assert(kWriteDataHeader + kWriteDataChunkBytes <= kReportSize);

}  // namespace

void BL_FormatImage(CommandBuffer& buffer, size_t regionCount, const uint8_t* firstRegion,
                    size_t firstRegionSize, uint16_t hidDescriptorAddress, uint8_t i2cAddress,
                    uint8_t reportId) {
  buffer[0] = kCmdFormatImage;
  buffer[1] = 0;
  buffer[2] = static_cast<uint8_t>(regionCount);
  for (size_t i = 0; i < 4; ++i) {
    const size_t from = 4 + i;
    buffer[3 + i] = (firstRegion != nullptr && from < firstRegionSize) ? firstRegion[from] : 0;
  }
  PutU16(buffer, 7, hidDescriptorAddress);
  buffer[9] = i2cAddress;
  buffer[10] = reportId;
}

void BL_FormatRegion(CommandBuffer& buffer, size_t regionIndex, uint32_t startAddress,
                     uint32_t byteCount, uint32_t fletcher32) {
  buffer[0] = kCmdFormatRegion;
  buffer[1] = static_cast<uint8_t>(regionIndex);
  PutU32(buffer, 2, startAddress);
  PutU32(buffer, 6, byteCount);
  PutU32(buffer, 10, fletcher32);
}

uint32_t BL_WriteData(CommandBuffer& buffer, uint32_t targetAddress, const uint8_t* data,
                      uint32_t length) {
  const uint32_t chunk = data == nullptr ? 0 : std::min(length, kWriteDataChunkBytes);
  buffer[0] = kCmdWriteData;
  PutU32(buffer, 1, targetAddress);
  PutU32(buffer, 5, chunk);
  if (chunk > 0) std::memcpy(buffer.data() + kWriteDataHeader, data, chunk);
  return chunk;
}

void BL_Flush(CommandBuffer& buffer) {
  buffer[0] = kCmdFlush;
}

void BL_Validate(CommandBuffer& buffer) {
  buffer[0] = kCmdValidate;
  buffer[1] = 1;
}

}  // namespace padflash
