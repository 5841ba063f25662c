// The 5-byte status header that starts every reply read without a preceding
// command: sentinel (high byte first), bootloader version, last error, flags.
// Also the names and texts under which BL_GetStatus prints it.
#pragma once

#include <cstdint>

#include "update/report_frame.h"

namespace padflash {

struct BootloaderStatus {
  uint16_t sentinel = 0;  // kSentinelBootloader, kSentinelImage, else invalid
  uint8_t version = 0;
  uint8_t lastError = 0;  // an NvError code
  uint8_t flags = 0;      // kFlag* bits
};

BootloaderStatus DecodeBootloaderStatus(const ReportFrame& reply);

// "NV_err_none" ... "NV_err_chksum_mismatch" for 0x00..0x0C. The bootloader
// names no code above 0x0C; those read "NV_err_undefined" (the LastError line
// prints the code itself in hexadecimal next to it).
const char* NvErrorName(int code);

// The flag texts of the status printout.
struct StatusFlagTexts {
  const char* imageLayout;  // "Dual" / "Single" (bit 0)
  char activeImage[12];     // bits 1-2: see DescribeStatusFlags
  const char* busy;         // "True" / "False" (bit 3)
  const char* imageValid;   // bit 4
  const char* force;        // bit 5
};

// What the bootloader puts in the active-image field (bits 1 and 2) beyond
// "no image selected" is not settled, so the field is shown as its value with
// "%d" when both bits are clear (that is "0") and as "None" when either is set.
StatusFlagTexts DescribeStatusFlags(uint8_t flags);

}  // namespace padflash
