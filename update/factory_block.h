// The layout of the controller's factory page as this program keeps it in
// the FactoryConfigBlock: the factory comp table of CompTableSize (T) bytes,
// then the configuration structure, which ends in an end marker.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/system_port.h"

namespace padflash {

// Offsets inside the configuration structure (add T for block offsets).
inline constexpr uint32_t kConfigChipId = 0;
inline constexpr uint32_t kConfigRevision = 1;
inline constexpr uint32_t kConfigWord2 = 2;  // 2 bytes taken from the image
inline constexpr uint32_t kConfigFeedConfig1 = 4;
inline constexpr uint32_t kConfigIdentityIds = 17;  // 9 bytes: I2C address .. T + 25
inline constexpr uint32_t kConfigVendorId = 20;
inline constexpr uint32_t kConfigProductId = 22;
inline constexpr uint32_t kConfigByte28 = 28;
inline constexpr uint32_t kConfigAccessOffset = 68;
inline constexpr uint32_t kConfigFactoryValues = 72;  // 3 bytes
// A block is valid when the bytes at T, T + 1 and T + 68 .. T + 73 are all
// nonzero; the structure therefore needs at least this many bytes.
inline constexpr uint32_t kConfigValidatedBytes = 74;
// The restore copies the factory values too (T + 72 .. T + 74): a saved page
// keeps at least this many bytes of the structure.
inline constexpr uint32_t kConfigRestoredBytes = kConfigFactoryValues + 3;

// The two end markers, as they lie in memory.
inline constexpr uint8_t kEndMarkerA[2] = {0xAC, 0xF1};  // 0xF1AC
inline constexpr uint8_t kEndMarkerB[2] = {0xFC, 0xDE};  // 0xDEFC

// The new firmware's default structure inside the image.
inline constexpr uint32_t kImageConfigI2C = 0x080019C0;
inline constexpr uint32_t kImageConfigUSB = 0x080029C0;
inline constexpr uint32_t ImageConfigAddress(bool isI2C) {
  return isI2C ? kImageConfigI2C : kImageConfigUSB;
}

// True when a comp table of T bytes leaves room in the 1024-byte page for the
// part of the structure that the validity test and the restore touch.
inline constexpr bool FactoryLayoutFits(uint32_t compTableSize) {
  return compTableSize <= 1024 - kConfigRestoredBytes;
}

// Offset of the first end marker that starts at `from` or later and lies
// wholly inside `size` bytes; -1 when there is none.
int FindEndMarker(const uint8_t* data, size_t size, size_t from);

// The used length of a block: just after the first end marker at or after T,
// else the whole block.
size_t FactoryEndOf(const uint8_t* block, size_t size, uint32_t compTableSize);

// Bytes T, T + 1 and T + 68 .. T + 73 all nonzero. A block too short for them
// is not valid.
bool IsFactoryBlockValid(const uint8_t* block, size_t size, uint32_t compTableSize);

// Little-endian reads from a block, bounded: 0 when out of range.
uint16_t BlockU16(const uint8_t* block, size_t size, size_t at);
uint32_t BlockU32(const uint8_t* block, size_t size, size_t at);

// "sf" + UTC date_time + ".mem", e.g. sf20150811_101010.mem.
std::string PersonalityFileNameFor(const UtcTime& time);

}  // namespace padflash
