// Which controller a device is, which firmware it runs and how to reach its
// bootloader; the same record describes a firmware image about to be
// installed.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>

#include "firmware/config_instruction.h"

namespace padflash {

class HexFile;

inline constexpr uint16_t kBootloaderVendorId = 0x0488;
inline constexpr uint16_t kBootloaderProductId = 0xD0C0;

// Identity block locations.
inline constexpr uint32_t kIdentityBlockI2C = 0x080019C0;
inline constexpr uint32_t kIdentityBlockUSB = 0x080029C0;
inline constexpr uint32_t kIdentityTagI2C = 0x08001A96;
inline constexpr uint32_t kIdentityTagUSB = 0x08002A96;
inline constexpr uint32_t kDeviceIdentityBlock = 0xC2C0;  // RAM mirror
inline constexpr uint32_t kDeviceIdentityTag = 0xC396;

// The 128-byte identity block: byte offsets of its fields (words are
// little-endian).
inline constexpr int kIdentityBlockSize = 128;
inline constexpr int kIdentityChipId = 0x00;
inline constexpr int kIdentityRevision = 0x01;
inline constexpr int kIdentityI2cAddress = 0x11;
inline constexpr int kIdentityHidDescriptor = 0x12;
inline constexpr int kIdentityVendorId = 0x14;
inline constexpr int kIdentityProductId = 0x16;

struct DeviceIdentity {
  std::string name;
  uint8_t chipId = 0;
  uint8_t firmwareRevision = 0;
  std::array<uint8_t, 10> firmwareTag{};
  uint8_t reportId = 7;
  uint8_t isI2C = 0;
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint8_t i2cAddress = 0;
  uint16_t hidDescriptorAddress = 0;
  uint16_t bootloaderVendorId = kBootloaderVendorId;
  uint16_t bootloaderProductId = kBootloaderProductId;
  uint8_t bootloaderI2cAddress = 0;
  uint16_t bootloaderHidDescriptorAddress = 0;
  std::deque<uint16_t> compatibleFirmwareIds;
  std::deque<std::string> firmwareLines;
  std::deque<std::string> configLines;
  std::deque<ConfigInstruction> configInstructions;
  HexFile* image = nullptr;  // not owned
  uint8_t fromPackage = 0;
  uint8_t fromHexFile = 0;
  uint8_t fromDevice = 0;
};

// The little-endian word at `offset` of an identity block.
uint16_t IdentityWord(const uint8_t* block, int offset);
// The bootloader answers at the record's own addresses under 0x0488/0xD0C0.
void SetBootloaderAddressing(DeviceIdentity& identity);

// Reading the records from an image or a device: update/identity_reading.h.

// The four renderings, each bounded to 511 characters.
std::string RenderImageExtraction(const DeviceIdentity& firmware);  // "New FW Info\r\n..."
std::string RenderNewFirmware(const DeviceIdentity& firmware);      // "New FW Info %X.%X..."
std::string RenderDeviceFull(const DeviceIdentity& device);         // "Device Info %X.%X..."
std::string RenderDeviceShort(const DeviceIdentity& device, uint16_t entryVendorId,
                              uint16_t entryProductId);
// "Bootloader Info %X.%X..." with the arguments of the full device rendering.
std::string RenderBootloaderInfo(const DeviceIdentity& device);

}  // namespace padflash
