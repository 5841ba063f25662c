// A firmware package library for tests and the demo. It hands out an Intel
// HEX image made by our own generator, the image's identity, a list of
// compatible revisions and configuration-restore lines. Everything about it
// is set by the build (tools/samplepkg/CMakeLists.txt), so several packages
// come from this one file.
#include <cstring>

#include "firmware/package_library_abi.h"

// The generated HEX text of this package's image.
extern const char kSamplePackageHex[];

namespace {

constexpr uint16_t kCompatible[] = {SAMPLE_COMPATIBLE};

constexpr char kConfigText[] =
    "0x0800FC00, 0x0800FC00,c,480 # comp table\r\n"
    "\r\n"
    "0xC308, 0xC308,c,3 # factory values\r\n";

#if defined(SAMPLE_ANSWER_SIZE)
// A broken package: every size and count it answers is this one.
constexpr int kAnswer = static_cast<int>(SAMPLE_ANSWER_SIZE);
#endif

// The two-call text protocol: a null buffer asks for the size (terminator
// included); a buffer receives the text, cut to the size it says it holds.
void HandOut(const char* text, int* size, char* buffer) {
  const int total = static_cast<int>(std::strlen(text)) + 1;
  if (buffer == nullptr) {
#if defined(SAMPLE_ANSWER_SIZE)
    *size = kAnswer;
#else
    *size = total;
#endif
    return;
  }
  const int fits = *size < total ? *size : total;
  if (fits <= 0) return;
  std::memcpy(buffer, text, static_cast<size_t>(fits - 1));
  buffer[fits - 1] = '\0';
}

}  // namespace

extern "C" {

#if !defined(SAMPLE_OMIT_ffudll_fnGetHIDDeviceInfo)
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetHIDDeviceInfo(uint16_t* vendorId, uint16_t* productId) {
  *vendorId = SAMPLE_VID;
  *productId = SAMPLE_PID;
}
#endif

#if !defined(SAMPLE_OMIT_ffudll_fnGetI2CDeviceInfo)
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetI2CDeviceInfo(uint8_t* isI2C, uint8_t* i2cAddress,
                                                         uint16_t* hidDescriptorAddress,
                                                         uint8_t* reportId) {
  *isI2C = SAMPLE_I2C;
  *i2cAddress = SAMPLE_I2C ? SAMPLE_I2C_ADDRESS : 0;
  *hidDescriptorAddress = SAMPLE_I2C ? SAMPLE_HID_DESC : 0;
  *reportId = SAMPLE_REPORT_ID;
}
#endif

#if !defined(SAMPLE_OMIT_ffudll_fnGetFirmwareInfo)
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetFirmwareInfo(uint8_t* chipId, uint8_t* revision) {
  *chipId = SAMPLE_CHIP;
  *revision = SAMPLE_REV;
}
#endif

#if !defined(SAMPLE_OMIT_ffudll_fnGetCompatibleFirmIDs)
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetCompatibleFirmIDs(int* count, uint16_t* ids) {
  constexpr int kCount = static_cast<int>(sizeof kCompatible / sizeof kCompatible[0]);
  if (ids == nullptr) {
#if defined(SAMPLE_ANSWER_SIZE)
    *count = kAnswer;
#else
    *count = kCount;
#endif
    return;
  }
  for (int i = 0; i < kCount && i < *count; ++i) ids[i] = kCompatible[i];
}
#endif

#if !defined(SAMPLE_OMIT_ffudll_fnGetFirmware)
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetFirmware(int* size, char* text, void* /*module*/) {
  HandOut(kSamplePackageHex, size, text);
}
#endif

#if !defined(SAMPLE_OMIT_ffudll_fnGetConfigInstructions)
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetConfigInstructions(int* size, char* text,
                                                              void* /*module*/) {
  HandOut(kConfigText, size, text);
}
#endif

}  // extern "C"
