#include "update/fletcher.h"

namespace padflash {

uint16_t Fletcher16(const uint8_t* data, size_t count) {
  uint16_t sum1 = 0xFF;
  uint16_t sum2 = 0xFF;
  while (count > 0) {
    // 20 bytes per block keep sum2 within 16 bits before it is folded.
    size_t block = count < 20 ? count : 20;
    count -= block;
    while (block-- > 0) {
      sum1 = static_cast<uint16_t>(sum1 + *data++);
      sum2 = static_cast<uint16_t>(sum2 + sum1);
    }
    sum1 = static_cast<uint16_t>((sum1 & 0xFF) + (sum1 >> 8));
    sum2 = static_cast<uint16_t>((sum2 & 0xFF) + (sum2 >> 8));
  }
  sum1 = static_cast<uint16_t>((sum1 & 0xFF) + (sum1 >> 8));
  sum2 = static_cast<uint16_t>((sum2 & 0xFF) + (sum2 >> 8));
  return static_cast<uint16_t>((sum2 << 8) | sum1);
}

uint32_t Fletcher32(const uint8_t* data, size_t count) {
  uint32_t sum1 = 0xFFFF;
  uint32_t sum2 = 0xFFFF;
  // The checksum covers whole 16-bit words; an odd count gets a last word
  // whose high byte is 0 and is not read from the buffer.
  size_t words = (count + 1) / 2;
  size_t index = 0;
  while (words > 0) {
    size_t block = words < 180 ? words : 180;
    words -= block;
    while (block-- > 0) {
      uint32_t low = data[index];
      uint32_t high = index + 1 < count ? data[index + 1] : 0;
      index += 2;
      sum1 += low | (high << 8);
      sum2 += sum1;
    }
    sum1 = (sum1 & 0xFFFF) + (sum1 >> 16);
    sum2 = (sum2 & 0xFFFF) + (sum2 >> 16);
  }
  sum1 = (sum1 & 0xFFFF) + (sum1 >> 16);
  sum2 = (sum2 & 0xFFFF) + (sum2 >> 16);
  return (sum2 << 16) | sum1;
}

}  // namespace padflash
