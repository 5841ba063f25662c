// A package library whose six functions answer with the fuzz bytes: sizes,
// counts, identity values and texts with or without their terminator. It
// never writes past what the caller says it may; everything else is the
// fuzzer's choice, as is which functions it exports.
#include <algorithm>
#include <cstring>

#include "firmware/package_library_abi.h"
#include "tests/fuzz/fuzz_ports.h"
#include "tests/fuzz/fuzz_target.h"
#include "update/firmware_loading.h"
#include "update/package_library.h"

namespace {

padflash::fuzz::Input* answers = nullptr;

void GetHid(uint16_t* vendorId, uint16_t* productId) {
  *vendorId = answers->U16();
  *productId = answers->U16();
}
void GetI2c(uint8_t* isI2C, uint8_t* address, uint16_t* descriptor, uint8_t* reportId) {
  *isI2C = answers->Byte();
  *address = answers->Byte();
  *descriptor = answers->U16();
  *reportId = answers->Byte();
}
void GetInfo(uint8_t* chipId, uint8_t* revision) {
  *chipId = answers->Byte();
  *revision = answers->Byte();
}
void GetIds(int* count, uint16_t* ids) {
  if (ids == nullptr) {
    *count = answers->I32();
    return;
  }
  for (int i = 0; i < *count; ++i) ids[i] = answers->U16();
}
void GetText(int* size, char* text, void*) {
  if (text == nullptr) {
    // Any size at or below 0 or above the package limit; others kept small
    // (the same path, without megabytes to clear on every run).
    const int32_t raw = answers->I32();
    const bool outside = raw <= 0 || raw > padflash::kMaxPackageTextBytes;
    *size = outside ? raw : raw % 4096 + 1;
    return;
  }
  const std::string_view bytes = answers->Take(static_cast<size_t>(*size));
  std::memcpy(text, bytes.data(), bytes.size());
}

}  // namespace

PADFLASH_FUZZ_TARGET(package_library) {
  padflash::fuzz::Input in(data, size);
  answers = &in;
  padflash::fuzz::World world;
  padflash::Session& s = world.session;
  const uint8_t present = in.Byte();
  void* functions[] = {reinterpret_cast<void*>(GetHid),  reinterpret_cast<void*>(GetI2c),
                       reinterpret_cast<void*>(GetInfo), reinterpret_cast<void*>(GetIds),
                       reinterpret_cast<void*>(GetText), reinterpret_cast<void*>(GetText)};
  const char* names[] = {padflash::kFfuGetHIDDeviceInfo, padflash::kFfuGetI2CDeviceInfo,
                         padflash::kFfuGetFirmwareInfo,  padflash::kFfuGetCompatibleFirmIDs,
                         padflash::kFfuGetFirmware,      padflash::kFfuGetConfigInstructions};
  for (int i = 0; i < 6; ++i) {
    if ((present >> i & 1) == 0 || (present & 0xC0) != 0) {
      world.system.libraryExports[names[i]] = functions[i];
    }
  }
  world.system.files["release.dll"] = {'M', 'Z'};
  s.config.firmwarePath = "release.dll";

  if (padflash::LoadFirmwarePackage(s, s.firmware) == 0) {
    size_t text = 0;
    for (const std::string& line : s.firmware.firmwareLines) text += line.size();
    FUZZ_CHECK(text <= static_cast<size_t>(padflash::kMaxPackageTextBytes));
    FUZZ_CHECK(s.firmware.configInstructions.size() == s.firmware.configLines.size());
    FUZZ_CHECK(s.firmware.compatibleFirmwareIds.size() <=
               static_cast<size_t>(padflash::kMaxCompatibleIds));
    padflash::HexFile image(s.firmware.firmwareLines);
    image.Parse();
  }
  answers = nullptr;
  return 0;
}
