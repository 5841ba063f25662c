#include "tools/fwgen/firmware_generator.h"

#include <algorithm>
#include <cstdio>

#include "firmware/hex_record_text.h"

namespace fwgen {

uint8_t ByteStream::Next() {
  state_ ^= state_ << 13;
  state_ ^= state_ >> 17;
  state_ ^= state_ << 5;
  return static_cast<uint8_t>(state_ >> 24);
}

namespace {

void PutU16(std::vector<uint8_t>& bytes, uint32_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// Smallest main region: up to the end of the default structure.
constexpr uint32_t kMinCodeBytes = kIdentityOffset + kStructSize;

uint32_t MainRegionBytes(const FirmwareBuild& build) {
  const uint32_t start = ImageStart(build.i2c);
  const uint32_t limit = build.factoryPageRegion ? kFactoryPage : kFlashStart + 0x10000;
  // Whole 16-bit words, as the bootloader's Fletcher-32 expects.
  return std::clamp(build.codeBytes, kMinCodeBytes, limit - start) & ~1u;
}

}  // namespace

std::vector<uint8_t> DefaultStructure(const FirmwareBuild& build) {
  std::vector<uint8_t> s(kStructSize);
  // Configuration filler stays below 0x80, so no end marker (0xFC 0xDE or
  // 0xAC 0xF1) appears before the real one.
  ByteStream filler(build.seed * 2654435761u + build.chipId * 256u + build.revision);
  for (auto& b : s) b = filler.Next() & 0x7F;

  s[kStructChipId] = build.chipId;
  s[kStructRevision] = build.revision;
  s[0x02] = static_cast<uint8_t>(s[0x02] | 0x01);
  s[0x03] = static_cast<uint8_t>(s[0x03] | 0x01);
  s[kStructFeedConfig1] = build.feedConfig1;
  s[kStructI2cAddress] = build.i2cAddress;
  PutU16(s, kStructHidDescriptor, build.hidDescriptorAddress);
  PutU16(s, kStructVendorId, build.vendorId);
  PutU16(s, kStructProductId, build.productId);
  s[0x18] = static_cast<uint8_t>(s[0x18] | 0x01);
  s[0x19] = static_cast<uint8_t>(s[0x19] | 0x01);
  s[0x1C] = static_cast<uint8_t>(s[0x1C] | 0x01);
  // The factory writes the access offset and its three calibration values;
  // a build leaves them zero.
  for (uint32_t i = 0; i < 4; ++i) s[kStructAccessOffset + i] = 0;
  for (uint32_t i = 0; i < 3; ++i) s[kStructFactoryValues + i] = 0;

  char tag[11];
  std::snprintf(tag, sizeof tag, "VLM%02X%02XSIM", build.chipId, build.revision);
  std::copy(tag, tag + 10, s.begin() + kStructTag);

  PutU16(s, kStructEndMarker, build.endMarker);
  return s;
}

std::vector<Region> GenerateFirmware(const FirmwareBuild& build) {
  std::vector<Region> regions;
  const uint32_t start = ImageStart(build.i2c);

  Region main{start, std::vector<uint8_t>(MainRegionBytes(build))};
  ByteStream code(build.seed);
  for (auto& b : main.bytes) b = code.Next();
  const std::vector<uint8_t> structure = DefaultStructure(build);
  std::copy(structure.begin(), structure.end(), main.bytes.begin() + kIdentityOffset);
  regions.push_back(std::move(main));

  if (build.factoryPageRegion) {
    Region page{kFactoryPage, std::vector<uint8_t>(kFactoryPageBytes, 0xFF)};
    std::copy(structure.begin(), structure.end(), page.bytes.begin() + kDefaultCompTableBytes);
    regions.push_back(std::move(page));
  }

  // The bootloader's region comes last in the file: before the image start
  // a HEX load drops it, after it the updater meets it and skips it.
  if (build.bootloaderRegion) {
    Region boot{kFlashStart, {}};
    boot.bytes.resize(std::clamp<uint32_t>(build.bootloaderBytes, 2, start - kFlashStart));
    ByteStream code(build.seed ^ 0xB007B007u);
    for (auto& b : boot.bytes) b = code.Next();
    regions.push_back(std::move(boot));
  }

  return regions;
}

namespace {

void AppendRecord(std::string& out, uint8_t type, uint16_t address, const uint8_t* data,
                  size_t count) {
  out += padflash::HexRecordText(type, address, data, count);
  out += "\r\n";
}

void AppendUpper(std::string& out, uint32_t address) {
  const uint8_t upper[2] = {static_cast<uint8_t>(address >> 24),
                            static_cast<uint8_t>(address >> 16)};
  AppendRecord(out, 0x04, 0, upper, 2);
}

}  // namespace

std::string ToIntelHex(const std::vector<Region>& regions) {
  std::string out;
  for (const Region& region : regions) {
    size_t done = 0;
    bool first = true;
    while (done < region.bytes.size()) {
      const uint32_t address = region.address + static_cast<uint32_t>(done);
      if (first || (address & 0xFFFF) == 0) AppendUpper(out, address);
      first = false;
      // A record never crosses a 64 KiB boundary.
      const size_t toBoundary = 0x10000 - (address & 0xFFFF);
      const size_t count = std::min({region.bytes.size() - done, size_t{16}, toBoundary});
      AppendRecord(out, 0x00, static_cast<uint16_t>(address), region.bytes.data() + done, count);
      done += count;
    }
  }
  AppendRecord(out, 0x01, 0, nullptr, 0);
  return out;
}

}  // namespace fwgen
