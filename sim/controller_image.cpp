// The bootloader's image commands: format image and regions, write data,
// validate.
#include "sim/controller_model.h"

#include <algorithm>
#include <cstring>

#include "sim/controller_internals.h"
#include "update/fletcher.h"

namespace sim {

using namespace model;

// ---- image commands (bootloader) -------------------------------------------

uint32_t Controller::imageStart() const {
  return fwgen::ImageStart(state_.config.i2c);
}

// 4, 0, region count, image word (4), HID descriptor address (2), I2C
// address, report ID. Erases everything above the bootloader area, the
// factory page included.
void Controller::FormatImage(const uint8_t* command) {
  ControllerState& s = state_;
  std::fill(s.flash.begin() + (imageStart() - padflash::kFlashBase), s.flash.end(), 0xFF);
  s.imageValid = false;
  s.regions.clear();
  FormatImageRecord& record = s.formatImage;
  record.formatted = true;
  record.regionCount = command[2];
  std::memcpy(record.imageWord, command + 3, 4);
  record.hidDescriptorAddress = U16(command + 7);
  record.i2cAddress = command[9];
  record.reportId = command[10];
  s.lastError = padflash::NV_err_none;
}

// 5, index, address (4), length (4), Fletcher-32 (4).
void Controller::FormatRegion(const uint8_t* command) {
  ControllerState& s = state_;
  FormattedRegion region;
  region.index = command[1];
  region.address = U32(command + 2);
  region.length = U32(command + 6);
  region.fletcher32 = U32(command + 10);
  if (!s.formatImage.formatted) {
    s.lastError = padflash::NV_err_not_initialized;
  } else if (region.index >= s.formatImage.regionCount) {
    s.lastError = padflash::NV_err_sector_out_of_range;
  } else if (region.address < imageStart()) {
    s.lastError = padflash::NV_err_protection_violation;  // the bootloader's own area
  } else if (static_cast<uint64_t>(region.address) + region.length > kFlashEnd) {
    s.lastError = padflash::NV_err_offset_out_of_range;
  } else {
    auto first = s.flash.begin() + (region.address - padflash::kFlashBase);
    std::fill(first, first + region.length, 0xFF);
    std::erase_if(s.regions, [&](const FormattedRegion& r) { return r.index == region.index; });
    s.regions.push_back(region);
    s.imageValid = false;
    s.lastError = padflash::NV_err_none;
  }
}

// 0, address (4), length (4), data: must fall inside a formatted region.
void Controller::WriteData(const uint8_t* command) {
  ControllerState& s = state_;
  if (CountDown(s.faults.powerLossAtChunk)) {
    PowerLoss();
    return;
  }
  const uint32_t address = U32(command + 1);
  const uint32_t count = U32(command + 5);
  const uint64_t end = static_cast<uint64_t>(address) + count;
  auto inside = [&](const FormattedRegion& r) {
    return address >= r.address && end <= static_cast<uint64_t>(r.address) + r.length;
  };
  auto region = std::find_if(s.regions.begin(), s.regions.end(), inside);
  if (!s.formatImage.formatted) {
    s.lastError = padflash::NV_err_not_initialized;
  } else if (count > kMaxWriteDataBytes || region == s.regions.end()) {
    s.lastError = padflash::NV_err_offset_out_of_range;
  } else {
    std::memcpy(s.flash.data() + (address - padflash::kFlashBase), command + 9, count);
    region->bytesWritten += count;
    ++s.counters.writeChunks;
    s.lastError = padflash::NV_err_none;
  }
  if (CountDown(s.faults.bootloaderErrorAfterChunk)) s.lastError = s.faults.bootloaderErrorCode;
}

// Each region's Fletcher-32 over what flash holds now against the one sent
// with its format.
void Controller::Validate() {
  ControllerState& s = state_;
  if (s.regions.empty()) {
    s.imageValid = false;
    s.lastError = padflash::NV_err_no_recent_image;
    return;
  }
  for (const FormattedRegion& r : s.regions) {
    const uint8_t* bytes = s.flash.data() + (r.address - padflash::kFlashBase);
    if (padflash::Fletcher32(bytes, r.length) != r.fletcher32) {
      s.imageValid = false;
      s.lastError = padflash::NV_err_chksum_mismatch;
      return;
    }
  }
  s.imageValid = true;
  s.lastError = padflash::NV_err_none;
}

}  // namespace sim
