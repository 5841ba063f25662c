#include "firmware/device_identity.h"

#include <cstdarg>
#include <cstdio>

namespace padflash {

namespace {

// A rendering holds what fits the 512-byte message buffer.
constexpr size_t kRenderingBytes = 512;

const char* Protocol(const DeviceIdentity& identity) {
  return identity.isI2C != 0 ? "I2C" : "USB";
}

// Every rendering is cut to what fits a 512-byte message buffer.
std::string Render(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Render(const char* format, ...) {
  char buffer[kRenderingBytes];
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

}  // namespace

uint16_t IdentityWord(const uint8_t* block, int offset) {
  return static_cast<uint16_t>(block[offset] | (block[offset + 1] << 8));
}

void SetBootloaderAddressing(DeviceIdentity& identity) {
  identity.bootloaderHidDescriptorAddress = identity.hidDescriptorAddress;
  identity.bootloaderI2cAddress = identity.i2cAddress;
  identity.bootloaderVendorId = kBootloaderVendorId;
  identity.bootloaderProductId = kBootloaderProductId;
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
