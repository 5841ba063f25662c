// The bootloader's image commands, built in the session's one shared 531-byte
// command buffer. The buffer is never cleared between commands: each encoder
// writes only its own fields, and every other byte keeps what an earlier
// command left there (the bootloader reads only the fields of the command).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "update/bootloader_protocol.h"

namespace padflash {

using CommandBuffer = std::array<uint8_t, kReportSize>;

// Code 4: offset 1 = 0, region count (low 8 bits, skipped regions counted),
// bytes 4..7 of the first region as stored, then the new firmware's HID
// descriptor address (LE), I2C address and report ID. A first region shorter
// than 8 bytes contributes what it has; the missing bytes are sent as 0.
void BL_FormatImage(CommandBuffer& buffer, size_t regionCount, const uint8_t* firstRegion,
                    size_t firstRegionSize, uint16_t hidDescriptorAddress, uint8_t i2cAddress,
                    uint8_t reportId);

// Code 5: region index (low 8 bits), start address, byte count and the
// region's Fletcher-32, all LE.
void BL_FormatRegion(CommandBuffer& buffer, size_t regionIndex, uint32_t startAddress,
                     uint32_t byteCount, uint32_t fletcher32);

// Code 0: target address and chunk length (LE), then the chunk. At most
// kWriteDataChunkBytes are taken; returns the length actually encoded.
uint32_t BL_WriteData(CommandBuffer& buffer, uint32_t targetAddress, const uint8_t* data,
                      uint32_t length);

// Code 1: nothing but the code.
void BL_Flush(CommandBuffer& buffer);

// Code 2: offset 1 = 1.
void BL_Validate(CommandBuffer& buffer);

}  // namespace padflash
