// The bootloader protocol's checksums: Fletcher-16 protects memory reads and
// writes, Fletcher-32 is sent with every region that is formatted.
#pragma once

#include <cstddef>
#include <cstdint>

namespace padflash {

// sum1 = sum2 = 0xFF, blocks of 20 bytes; result (sum2 << 8) | sum1.
uint16_t Fletcher16(const uint8_t* data, size_t count);

// Over 16-bit little-endian words, sum1 = sum2 = 0xFFFF, blocks of 360 bytes.
// An odd count is rounded up to whole words; the missing high byte of the
// last word counts as 0 and is never read.
uint32_t Fletcher32(const uint8_t* data, size_t count);

}  // namespace padflash
