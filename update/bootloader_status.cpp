#include "update/bootloader_status.h"

#include <cstdio>

namespace padflash {

namespace {

constexpr int kNamedErrorCount = 13;

// Built once; indexed by the last-error byte.
const char* const kNvErrorNames[kNamedErrorCount] = {
    "NV_err_none",
    "NV_err_not_initialized",
    "NV_err_sector_out_of_range",
    "NV_err_offset_out_of_range",
    "NV_err_null_ptr",
    "NV_err_timeout",
    "NV_err_unknown",
    "NV_err_no_recent_image",
    "NV_err_access_violation",
    "NV_err_protection_violation",
    "NV_err_misaligned_address",
    "NV_err_cmd_unknown",
    "NV_err_chksum_mismatch",
};

const char* TrueFalse(bool value) {
  return value ? "True" : "False";
}

}  // namespace

BootloaderStatus DecodeBootloaderStatus(const ReportFrame& reply) {
  BootloaderStatus status;
  status.sentinel = static_cast<uint16_t>(reply[0] << 8 | reply[1]);
  status.version = reply[2];
  status.lastError = reply[3];
  status.flags = reply[4];
  return status;
}

const char* NvErrorName(int code) {
  if (code < 0 || code >= kNamedErrorCount) return "NV_err_undefined";
  return kNvErrorNames[code];
}

StatusFlagTexts DescribeStatusFlags(uint8_t flags) {
  StatusFlagTexts texts{};
  texts.imageLayout = (flags & kFlagDualImage) ? "Dual" : "Single";
  const int activeImage = (flags & kFlagActiveImageMask) >> 1;
  if (activeImage == 0)
    std::snprintf(texts.activeImage, sizeof texts.activeImage, "%d", activeImage);
  else
    std::snprintf(texts.activeImage, sizeof texts.activeImage, "None");
  texts.busy = TrueFalse(flags & kFlagBusy);
  texts.imageValid = TrueFalse(flags & kFlagImageValid);
  texts.force = TrueFalse(flags & kFlagForce);
  return texts;
}

}  // namespace padflash
