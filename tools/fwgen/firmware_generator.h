// Generates realistic firmware images for tests, the demo and the
// benchmarks: an I2C build at 0x08001900 or a USB build at 0x08002900 with
// the 128-byte identity block at start + 0xC0, the tag at start + 0x196, a
// default configuration structure ending in an end marker, code bytes up to
// the chosen size, the default factory page at 0x0800FC00, and optionally a
// bootloader region at 0x08000000 (last in file order, so a HEX load keeps it).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace fwgen {

struct FirmwareBuild {
  bool i2c = false;
  uint8_t chipId = 0x12;
  uint8_t revision = 0x05;
  uint8_t i2cAddress = 0x2C;               // written into the block even for USB builds
  uint16_t hidDescriptorAddress = 0x0020;  // likewise
  uint16_t vendorId = 0x0488;
  uint16_t productId = 0x0101;
  uint8_t feedConfig1 = 0x5A;        // default FeedConfig1 (structure offset 4)
  uint32_t codeBytes = 0x3000;       // bytes of the main region from the image start
  bool factoryPageRegion = true;     // include the default page at 0x0800FC00
  bool bootloaderRegion = false;     // include a region at 0x08000000
  uint32_t bootloaderBytes = 0x400;  // its size (at most up to the image start)
  uint16_t endMarker = 0xDEFC;       // 0xDEFC or 0xF1AC, little-endian in memory
  uint32_t seed = 1;                 // code bytes are pseudo-random from this seed
};

// Offsets inside the configuration structure (identity block).
inline constexpr uint32_t kStructChipId = 0x00;
inline constexpr uint32_t kStructRevision = 0x01;
inline constexpr uint32_t kStructFeedConfig1 = 0x04;
inline constexpr uint32_t kStructI2cAddress = 0x11;
inline constexpr uint32_t kStructHidDescriptor = 0x12;
inline constexpr uint32_t kStructVendorId = 0x14;
inline constexpr uint32_t kStructProductId = 0x16;
inline constexpr uint32_t kStructAccessOffset = 68;
inline constexpr uint32_t kStructFactoryValues = 72;  // 3 bytes
inline constexpr uint32_t kStructTag = 0xD6;          // 10 bytes
inline constexpr uint32_t kStructEndMarker = 0xF0;    // where the default structure ends
inline constexpr uint32_t kStructSize = kStructEndMarker + 2;

struct Region {
  uint32_t address = 0;
  std::vector<uint8_t> bytes;
};

// Where images start, and the identity block inside them.
inline constexpr uint32_t kFlashStart = 0x08000000;
inline constexpr uint32_t kImageStartI2c = 0x08001900;
inline constexpr uint32_t kImageStartUsb = 0x08002900;
inline constexpr uint32_t kIdentityOffset = 0xC0;
inline constexpr uint32_t kFactoryPage = 0x0800FC00;
inline constexpr uint32_t kFactoryPageBytes = 1024;
inline constexpr uint32_t kDefaultCompTableBytes = 480;

inline constexpr uint32_t ImageStart(bool i2c) {
  return i2c ? kImageStartI2c : kImageStartUsb;
}

// Deterministic pseudo-random bytes (xorshift32), the same on every
// platform; a zero seed is replaced by a fixed one.
class ByteStream {
 public:
  explicit ByteStream(uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  uint8_t Next();

 private:
  uint32_t state_;
};

// The default configuration structure of a build (kStructSize bytes, end
// marker included).
std::vector<uint8_t> DefaultStructure(const FirmwareBuild& build);

// The image as regions in file order.
std::vector<Region> GenerateFirmware(const FirmwareBuild& build);

// Intel HEX text: type 04 records before each region and wherever the upper
// address changes, 16 data bytes per record, type 01 at the end; CRLF lines.
std::string ToIntelHex(const std::vector<Region>& regions);

}  // namespace fwgen
