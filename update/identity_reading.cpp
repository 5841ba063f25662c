// Reading the two identities: the new firmware's from its image (with the
// identity questions), the device's from its memory.
#include "update/identity_reading.h"

#include "firmware/hex_file.h"
#include "session/output.h"
#include "session/session.h"
#include "update/compatibility.h"
#include "update/memory_transfer.h"

namespace padflash {

namespace {

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

}  // namespace

int ExtractImageIdentity(Session& session, DeviceIdentity& firmware) {
  const HexFile* image = firmware.image;
  if (image == nullptr || image->segmentCount() == 0) return -1;

  Print(session, "Extracting Firmware image from file: %s\r\n", image->fileName().c_str());
  SetStatus(session, "Extracting Firmware image from file\r\n");

  // The I2C build's block wins when an image holds both.
  uint8_t block[kIdentityBlockSize] = {};
  firmware.isI2C = 1;
  if (image->ReadBytes(kIdentityBlockI2C, block, kIdentityBlockSize) != 0) {
    firmware.isI2C = 0;
    if (image->ReadBytes(kIdentityBlockUSB, block, kIdentityBlockSize) != 0) return -1;
  }

  firmware.chipId = block[kIdentityChipId];
  firmware.firmwareRevision = block[kIdentityRevision];
  firmware.vendorId = IdentityWord(block, kIdentityVendorId);
  firmware.productId = IdentityWord(block, kIdentityProductId);

  // The addressing shown here is still that of the record's previous fill.
  ShowRendering(session, kIdNewFw, RenderImageExtraction(firmware));

  // The identity questions; during a HEX load their answers are not printed.
  const DeviceListEntry* entry = SelectedEntry(session);
  if (entry != nullptr &&
      !ConfirmIdentity(session, entry->vendorId, entry->productId, firmware, false)) {
    return -1;
  }

  if (firmware.isI2C != 0) {
    firmware.hidDescriptorAddress = IdentityWord(block, kIdentityHidDescriptor);
    firmware.i2cAddress = block[kIdentityI2cAddress];
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

  uint8_t block[kIdentityBlockSize] = {};
  bool read = BL_ReadMemory(session, kDeviceIdentityBlock, kIdentityBlockSize, block) == 0;
  if (read) {
    device.chipId = block[kIdentityChipId];
    device.firmwareRevision = block[kIdentityRevision];
    device.i2cAddress = block[kIdentityI2cAddress];
    device.hidDescriptorAddress = IdentityWord(block, kIdentityHidDescriptor);
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

}  // namespace padflash
