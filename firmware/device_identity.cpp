#include "firmware/device_identity.h"

#include <cstdarg>
#include <cstdio>

#include "app/output.h"
#include "app/session.h"
#include "firmware/hex_file.h"
#include "update/compatibility.h"
#include "update/memory_transfer.h"

namespace padflash {

namespace {

// Offsets inside the 128-byte identity block (little-endian words).
constexpr int kBlockSize = 128;
constexpr int kChipIdOffset = 0x00;
constexpr int kRevisionOffset = 0x01;
constexpr int kI2cAddressOffset = 0x11;
constexpr int kHidDescriptorOffset = 0x12;
constexpr int kVendorIdOffset = 0x14;
constexpr int kProductIdOffset = 0x16;

uint16_t Word(const uint8_t* block, int offset) {
  return static_cast<uint16_t>(block[offset] | (block[offset + 1] << 8));
}

const char* Protocol(const DeviceIdentity& identity) {
  return identity.isI2C != 0 ? "I2C" : "USB";
}

// Every rendering is cut to what fits a 512-byte message buffer.
std::string Render(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Render(const char* format, ...) {
  char buffer[kMessageBufferSize];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

// Sets `text` as the text of `control` and appends it to the verbose pane,
// passing through the shared message buffer like every other message.
void ShowRendering(Session& session, int control, const std::string& text) {
  FormatText(session, "%s", text.c_str());
  session.window.SetText(control, session.MessageBuffer);
  AppendVerbose(session, session.MessageBuffer);
}

// The selected device-list entry, or null when nothing valid is selected.
const DeviceListEntry* SelectedEntry(const Session& session) {
  if (session.selectedDevice < 0 ||
      static_cast<size_t>(session.selectedDevice) >= session.deviceList.size()) {
    return nullptr;
  }
  return &session.deviceList[static_cast<size_t>(session.selectedDevice)];
}

void SetBootloaderAddressing(DeviceIdentity& identity) {
  identity.bootloaderHidDescriptorAddress = identity.hidDescriptorAddress;
  identity.bootloaderI2cAddress = identity.i2cAddress;
  identity.bootloaderVendorId = kBootloaderVendorId;
  identity.bootloaderProductId = kBootloaderProductId;
}

}  // namespace

int ExtractImageIdentity(Session& session, DeviceIdentity& firmware) {
  const HexFile* image = firmware.image;
  if (image == nullptr || image->segmentCount() == 0) return -1;

  Print(session, "Extracting Firmware image from file: %s\r\n", image->fileName().c_str());
  SetStatus(session, "Extracting Firmware image from file\r\n");

  // The I2C build's block wins when an image holds both.
  uint8_t block[kBlockSize] = {};
  firmware.isI2C = 1;
  if (image->ReadBytes(kIdentityBlockI2C, block, kBlockSize) != 0) {
    firmware.isI2C = 0;
    if (image->ReadBytes(kIdentityBlockUSB, block, kBlockSize) != 0) return -1;
  }

  firmware.chipId = block[kChipIdOffset];
  firmware.firmwareRevision = block[kRevisionOffset];
  firmware.vendorId = Word(block, kVendorIdOffset);
  firmware.productId = Word(block, kProductIdOffset);

  // The addressing shown here is still that of the record's previous fill.
  ShowRendering(session, kIdNewFw, RenderImageExtraction(firmware));

  // The identity questions; during a HEX load their answers are not printed.
  const DeviceListEntry* entry = SelectedEntry(session);
  if (entry != nullptr &&
      !ConfirmIdentity(session, entry->vendorId, entry->productId, firmware, false)) {
    return -1;
  }

  if (firmware.isI2C != 0) {
    firmware.hidDescriptorAddress = Word(block, kHidDescriptorOffset);
    firmware.i2cAddress = block[kI2cAddressOffset];
  } else {
    // A USB build carries I2C values in its block too; they do not apply.
    firmware.hidDescriptorAddress = 0;
    firmware.i2cAddress = 0;
  }

  const uint32_t tagAddress = firmware.isI2C != 0 ? kIdentityTagI2C : kIdentityTagUSB;
  if (image->ReadBytes(tagAddress, firmware.firmwareTag.data(),
                       static_cast<int>(firmware.firmwareTag.size())) != 0) {
    return -1;
  }

  ShowRendering(session, kIdNewFw, RenderImageExtraction(firmware));

  SetBootloaderAddressing(firmware);
  firmware.fromPackage = 0;
  firmware.fromHexFile = 1;
  firmware.fromDevice = 0;
  return 0;
}

int ReadDeviceIdentity(Session& session, DeviceIdentity& device) {
  if (!session.connection) return -1;

  PrintStatus(session, "Getting Device Info from Image...\r\n");

  uint8_t block[kBlockSize] = {};
  bool read = BL_ReadMemory(session, kDeviceIdentityBlock, kBlockSize, block) == 0;
  if (read) {
    device.chipId = block[kChipIdOffset];
    device.firmwareRevision = block[kRevisionOffset];
    device.i2cAddress = block[kI2cAddressOffset];
    device.hidDescriptorAddress = Word(block, kHidDescriptorOffset);
    device.isI2C = (device.i2cAddress != 0 || device.hidDescriptorAddress != 0) ? 1 : 0;
    read =
        BL_ReadMemory(session, kDeviceIdentityTag, static_cast<uint16_t>(device.firmwareTag.size()),
                      device.firmwareTag.data()) == 0;
  }
  if (!read) {
    session.UpdateResult = 6;
    Print(session, "ERROR - Cannot read memory location\r\n");
    return -1;
  }

  SetBootloaderAddressing(device);
  device.fromPackage = 0;
  device.fromHexFile = 0;
  device.fromDevice = 1;
  return 0;
}

std::string RenderImageExtraction(const DeviceIdentity& firmware) {
  return Render(
      "New FW Info\r\n\tVID: 0x%X\r\n\tPID: 0x%X\r\n\tProtocol: %s\r\n\tI2C Addr: "
      "0x%X\r\n\tHID Desc: 0x%X\r\n\tReportID: %d\r\n",
      firmware.vendorId, firmware.productId, Protocol(firmware), firmware.i2cAddress,
      firmware.hidDescriptorAddress, firmware.reportId);
}

std::string RenderNewFirmware(const DeviceIdentity& firmware) {
  return Render(
      "New FW Info %X.%X\r\n\tVID: 0x%X\r\n\tPID: 0x%X\r\n\tProtocol: %s\r\n\tI2C Addr: "
      "0x%X\r\n\tHID Desc: 0x%X\r\n\tReportID: %d\r\n",
      firmware.chipId, firmware.firmwareRevision, firmware.vendorId, firmware.productId,
      Protocol(firmware), firmware.i2cAddress, firmware.hidDescriptorAddress, firmware.reportId);
}

std::string RenderDeviceFull(const DeviceIdentity& device) {
  return Render(
      "Device Info %X.%X\r\n\tVID: 0x%X\r\n\tPID: 0x%X\r\n\tProtocol: %s\r\n\tI2C Addr: "
      "0x%X\r\n\tHID Desc: 0x%X\r\n\tReportID: %d\r\n",
      device.chipId, device.firmwareRevision, device.vendorId, device.productId, Protocol(device),
      device.i2cAddress, device.hidDescriptorAddress, device.reportId);
}

std::string RenderDeviceShort(const DeviceIdentity& device, uint16_t entryVendorId,
                              uint16_t entryProductId) {
  return Render("Device Info %X.%X\r\n\tVID: 0x%X\r\n\tPID: 0x%X\r\n\r\n", device.chipId,
                device.firmwareRevision, entryVendorId, entryProductId);
}

std::string RenderBootloaderInfo(const DeviceIdentity& device) {
  return Render(
      "Bootloader Info %X.%X\r\n\tVID: 0x%X\r\n\tPID: 0x%X\r\n\tProtocol: %s\r\n\tI2C Addr: "
      "0x%X\r\n\tHID Desc: 0x%X\r\n\tReportID: %d\r\n",
      device.chipId, device.firmwareRevision, device.vendorId, device.productId, Protocol(device),
      device.i2cAddress, device.hidDescriptorAddress, device.reportId);
}

}  // namespace padflash
