// The six C functions a firmware package library exports. padflash looks
// each one up by name and calls it; a package library includes this header
// to get the same signatures. None returns a value: results come back
// through the pointers, and a function leaves untouched what it has no value
// for.
//
// Sizes and counts use a two-call protocol. Call 1 passes a null buffer and
// receives the size (or count) in *size. When that is above 0, call 2 passes
// a buffer of exactly that many bytes (entries) and the library fills it.
// The firmware and configuration texts are zero-terminated when they fit;
// padflash never relies on the terminator.
//
// The third argument of the text functions is the library's own module
// handle on call 1 (the HMODULE on Windows, the dlopen handle on Linux), so
// that a package can find its resources or symbols through it; on call 2 it
// is null.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define FFUDLL_CALL __cdecl
#define FFUDLL_EXPORT __declspec(dllexport)
#else
#define FFUDLL_CALL
#define FFUDLL_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// 1: the vendor and product ID the firmware enumerates under.
typedef void(FFUDLL_CALL* ffudll_GetHIDDeviceInfoFn)(uint16_t* vendorId, uint16_t* productId);
// 2: protocol flag (1 = I2C-HID, 0 = USB), I2C address, HID descriptor
// address and report ID.
typedef void(FFUDLL_CALL* ffudll_GetI2CDeviceInfoFn)(uint8_t* isI2C, uint8_t* i2cAddress,
                                                     uint16_t* hidDescriptorAddress,
                                                     uint8_t* reportId);
// 3: chip ID and firmware revision.
typedef void(FFUDLL_CALL* ffudll_GetFirmwareInfoFn)(uint8_t* chipId, uint8_t* revision);
// 4: the revisions this firmware may be installed over; *count entries.
typedef void(FFUDLL_CALL* ffudll_GetCompatibleFirmIDsFn)(int* count, uint16_t* ids);
// 5: the firmware as Intel HEX text; *size bytes.
typedef void(FFUDLL_CALL* ffudll_GetFirmwareFn)(int* size, char* text, void* module);
// 6: configuration-restore instruction lines; *size bytes.
typedef void(FFUDLL_CALL* ffudll_GetConfigInstructionsFn)(int* size, char* text, void* module);

}  // extern "C"

namespace padflash {

inline constexpr const char* kFfuGetHIDDeviceInfo = "ffudll_fnGetHIDDeviceInfo";
inline constexpr const char* kFfuGetI2CDeviceInfo = "ffudll_fnGetI2CDeviceInfo";
inline constexpr const char* kFfuGetFirmwareInfo = "ffudll_fnGetFirmwareInfo";
inline constexpr const char* kFfuGetCompatibleFirmIDs = "ffudll_fnGetCompatibleFirmIDs";
inline constexpr const char* kFfuGetFirmware = "ffudll_fnGetFirmware";
inline constexpr const char* kFfuGetConfigInstructions = "ffudll_fnGetConfigInstructions";

}  // namespace padflash
