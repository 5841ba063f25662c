// A firmware package library for tests and the demo. It hands out an Intel
// HEX image made by our own generator, the image's identity, a list of
// compatible revisions and configuration-restore lines. Everything about it
// is set by the build (tools/samplepkg/CMakeLists.txt), so several packages
// come from this one file.
#include <cstring>

#include "firmware/package_library_abi.h"

#if defined(SAMPLE_FROM_HANDLE) && defined(_WIN32)
#include <windows.h>
#elif defined(SAMPLE_FROM_HANDLE)
#include <dlfcn.h>
#endif

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
void HandOut(const char* text, size_t length, int* size, char* buffer) {
  const int total = static_cast<int>(length) + 1;
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

void HandOut(const char* text, int* size, char* buffer) {
  HandOut(text, std::strlen(text), size, buffer);
}

#if defined(SAMPLE_FROM_HANDLE)
// This library's own handle, told independently of the one it is given.
void* OwnHandle() {
#if defined(_WIN32)
  HMODULE own = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&OwnHandle), &own);
  return own;
#else
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnHandle), &info) == 0) return nullptr;
  void* own = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD);
  if (own != nullptr) dlclose(own);  // only the count that RTLD_NOLOAD added
  return own;
#endif
}

// The HEX text found through the module handle of the size query, kept for
// the fetch that follows (which gets no handle). A handle that is not this
// library's own finds nothing.
const char* foundHex = nullptr;
size_t foundLength = 0;

void FindHex(void* module) {
  foundHex = nullptr;
  foundLength = 0;
  if (module == nullptr || module != OwnHandle()) return;
#if defined(_WIN32)
  HMODULE self = static_cast<HMODULE>(module);
  HRSRC resource = FindResourceA(self, "FIRMWARE_HEX", MAKEINTRESOURCEA(10));  // RT_RCDATA
  if (resource == nullptr) return;
  HGLOBAL loaded = LoadResource(self, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return;
  foundHex = static_cast<const char*>(bytes);
  foundLength = SizeofResource(self, resource);
#else
  auto text = reinterpret_cast<const char* (*)()>(dlsym(module, "sample_package_hex"));
  if (text == nullptr) return;
  foundHex = text();
  foundLength = std::strlen(foundHex);
#endif
}
#endif

}  // namespace

extern "C" {

#if defined(SAMPLE_FROM_HANDLE) && !defined(_WIN32)
// Found by the firmware function through dlsym on its module handle.
FFUDLL_EXPORT const char* sample_package_hex() {
  return kSamplePackageHex;
}
#endif

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
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetFirmware(int* size, char* text, void* module) {
#if defined(SAMPLE_FROM_HANDLE)
  if (text == nullptr) FindHex(module);
  if (foundHex == nullptr) {
    if (text == nullptr) *size = 0;
    return;
  }
  HandOut(foundHex, foundLength, size, text);
#else
  (void)module;
  HandOut(kSamplePackageHex, size, text);
#endif
}
#endif

#if !defined(SAMPLE_OMIT_ffudll_fnGetConfigInstructions)
FFUDLL_EXPORT void FFUDLL_CALL ffudll_fnGetConfigInstructions(int* size, char* text,
                                                              void* /*module*/) {
  HandOut(kConfigText, size, text);
}
#endif

}  // extern "C"
