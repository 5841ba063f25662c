// What the parts of the controller model share (controller_model.cpp,
// controller_reports.cpp, controller_image.cpp, controller_restarts.cpp): the
// report's sizes, little-endian fields, the "from now" fault counters,
// where a device address lands, and starting a mode from reset.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/controller_state.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/bootloader_protocol.h"

namespace sim::model {

using padflash::kReportSize;

inline constexpr size_t kWholeReport = kReportSize + 1;  // report ID + command buffer
inline constexpr uint32_t kFlashEnd = padflash::kFlashBase + kFlashSize;
inline constexpr uint32_t kPageIndex = padflash::kFactoryPageAddress - padflash::kFlashBase;
// Largest data runs that fit the 531-byte buffer.
inline constexpr uint32_t kMaxReadBytes = kReportSize - 13;  // 5 header, 6 echo, 2 checksum
inline constexpr uint32_t kMaxWriteMemoryBytes = kReportSize - 9;
inline constexpr uint32_t kMaxWriteDataBytes = kReportSize - 9;

inline uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// A "from now" rule: counts one event; true on the event it names.
inline bool CountDown(int& rule) {
  if (rule <= 0) return false;
  return --rule == 0;
}

inline uint32_t SerialSeed(const std::string& serial) {
  uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : serial) h = (h ^ c) * 16777619u;
  return h;
}

inline bool IsEndMarker(const uint8_t* p) {
  return (p[0] == 0xFC && p[1] == 0xDE) || (p[0] == 0xAC && p[1] == 0xF1);
}

// Offset just after the first end marker in [from, limit), or 0 when none.
inline size_t FindStructureEnd(const std::vector<uint8_t>& bytes, size_t from, size_t limit) {
  for (size_t j = from; j + 1 < limit && j + 1 < bytes.size(); ++j) {
    if (IsEndMarker(&bytes[j])) return j + 2;
  }
  return 0;
}

// Where a device address lands.
enum class Target { kNone, kRam, kAccessOffset, kFlash };

struct Location {
  Target target = Target::kNone;
  uint32_t index = 0;  // into ram, flash, or the offset's four bytes
};

inline Location Resolve(const ControllerState& s, uint32_t address, uint32_t count) {
  const uint64_t end = static_cast<uint64_t>(address) + count;
  if (address >= padflash::kAccessOffsetAddress) {
    if (end <= 0x100000000ull)
      return {Target::kAccessOffset, address - padflash::kAccessOffsetAddress};
    return {};
  }
  if (address >= padflash::kRamConfigAddress &&
      address < padflash::kRamConfigAddress + kRamMirrorSize) {
    if (end <= padflash::kRamConfigAddress + kRamMirrorSize) {
      return {Target::kRam, address - padflash::kRamConfigAddress};
    }
    return {};
  }
  const uint32_t flash = address + s.accessOffset;  // wraps as the part's adder does
  if (flash >= padflash::kFlashBase && static_cast<uint64_t>(flash) + count <= kFlashEnd) {
    return {Target::kFlash, flash - padflash::kFlashBase};
  }
  return {};
}

// The structure the firmware runs with: from the factory page (offset
// compTableSize) when the page holds one (chip byte nonzero and an end
// marker after it), else the image's default block at image start + 0xC0.
inline void StartFirmware(ControllerState& s) {
  const uint32_t table = s.config.compTableSize;
  size_t from = 0;
  size_t end = 0;
  if (table <= kFactoryPageSize - 2 && s.flash[kPageIndex + table] != 0) {
    end = FindStructureEnd(s.flash, kPageIndex + table, kFlashSize);
    from = kPageIndex + table;
  }
  s.structureFromFactoryPage = end != 0;
  if (end == 0) {
    from = fwgen::ImageStart(s.config.i2c) + fwgen::kIdentityOffset - padflash::kFlashBase;
    end = FindStructureEnd(s.flash, from, from + kRamMirrorSize);
    if (end == 0) end = from + kRamMirrorSize;
  }
  std::fill(s.ram.begin(), s.ram.end(), 0);
  std::copy(s.flash.begin() + from, s.flash.begin() + std::min(end, from + kRamMirrorSize),
            s.ram.begin());
  s.runningChipId = s.ram[fwgen::kStructChipId];
  s.runningRevision = s.ram[fwgen::kStructRevision];
  s.runningVendorId = U16(&s.ram[fwgen::kStructVendorId]);
  s.runningProductId = U16(&s.ram[fwgen::kStructProductId]);
}

// Starts a mode from reset: nothing of the bootloader's image session
// survives, no reply is pending.
inline void Boot(ControllerState& s, Mode mode) {
  s.mode = mode;
  s.lastError = padflash::NV_err_none;
  s.pendingReply.clear();
  s.formatImage = FormatImageRecord{};
  s.regions.clear();
  if (mode == Mode::kFirmware) StartFirmware(s);
}

}  // namespace sim::model
