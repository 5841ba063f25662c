#include "update/factory_block.h"

#include <cstdio>

namespace padflash {
namespace {

bool IsEndMarker(const uint8_t* at) {
  return (at[0] == kEndMarkerA[0] && at[1] == kEndMarkerA[1]) ||
         (at[0] == kEndMarkerB[0] && at[1] == kEndMarkerB[1]);
}

}  // namespace

int FindEndMarker(const uint8_t* data, size_t size, size_t from) {
  if (data == nullptr) return -1;
  for (size_t j = from; j + 1 < size; ++j) {
    if (IsEndMarker(data + j)) return static_cast<int>(j);
  }
  return -1;
}

size_t FactoryEndOf(const uint8_t* block, size_t size, uint32_t compTableSize) {
  const int marker = FindEndMarker(block, size, compTableSize);
  return marker < 0 ? size : static_cast<size_t>(marker) + 2;
}

bool IsFactoryBlockValid(const uint8_t* block, size_t size, uint32_t compTableSize) {
  if (block == nullptr || uint64_t{compTableSize} + kConfigValidatedBytes > size) return false;
  const uint8_t* config = block + compTableSize;
  if (config[kConfigChipId] == 0 || config[kConfigRevision] == 0) return false;
  for (uint32_t i = kConfigAccessOffset; i < kConfigValidatedBytes; ++i) {
    if (config[i] == 0) return false;
  }
  return true;
}

uint16_t BlockU16(const uint8_t* block, size_t size, size_t at) {
  if (block == nullptr || at + 2 > size) return 0;
  return static_cast<uint16_t>(block[at] | (block[at + 1] << 8));
}

uint32_t BlockU32(const uint8_t* block, size_t size, size_t at) {
  if (block == nullptr || at + 4 > size) return 0;
  return static_cast<uint32_t>(block[at]) | (static_cast<uint32_t>(block[at + 1]) << 8) |
         (static_cast<uint32_t>(block[at + 2]) << 16) |
         (static_cast<uint32_t>(block[at + 3]) << 24);
}

std::string PersonalityFileNameFor(const UtcTime& time) {
  char name[96];
  std::snprintf(name, sizeof name, "%s%04d%02d%02d_%02d%02d%02d.%s", "sf", time.year, time.month,
                time.day, time.hour, time.minute, time.second, "mem");
  return name;
}

}  // namespace padflash
