// The check-everything flow between choosing a device and a firmware file and
// being allowed to press Execute: load the firmware, find the device or its
// bootloader, look at the personality file and the access offset, and apply
// the compatibility rules. It runs on the window's thread and leaves the
// session state that the update session starts from.
#include "update/preparation.h"

#include <cctype>
#include <memory>
#include <string>

#include "firmware/device_identity.h"
#include "firmware/hex_file.h"
#include "session/output.h"
#include "session/session.h"
#include "update/compatibility.h"
#include "update/discovery.h"
#include "update/firmware_loading.h"
#include "update/identity_reading.h"
#include "update/memory_transfer.h"
#include "update/personality_file.h"
#include "update/personality_store.h"
#include "update/unit_connection.h"

namespace padflash {

namespace {

constexpr int kReady = 0;
constexpr int kNotReady = 1;

constexpr int kResultUpdateFailed = 1;
constexpr int kResultIdMismatch = 4;
constexpr int kResultCannotReadMemory = 6;
constexpr int kResultHexParse = 15;
constexpr int kResultCannotConnect = 17;

constexpr uint32_t kAccessOffsetAddress = 0xFFFFFFFC;
constexpr uint32_t kAccessOffsetBase = 0x1FFF3D54;
constexpr uint32_t kDefaultCompTableSize = 0x1E0;
constexpr uint32_t kSilentProceedWaitMs = 1000;

constexpr const char* kRemoveQuestionCaption = "Incompatible Personality File Found";
constexpr const char* kRemoveQuestionForFirmware =
    "The info in the temp personality file did not match the current selected new firmware file. "
    "Would you like to remove this temp file? \r\n\tY-remove file and don't use it\r\n\tN-Keep "
    "file and use it on this deice or select a different device.";
constexpr const char* kRemoveQuestionForDevice =
    "The info in the temp personality file did not match the current selected device. Would you "
    "like to remove this temp file? \r\n\tY-remove file and don't use it\r\n\tN-Keep file and use "
    "it on this deice or select a different device.";

// Hides Execute; everything set on the way stays as it is.
int FailureEnd(Session& session) {
  session.window.Show(kIdExecute, false);
  return kNotReady;
}

// The failures before anything was connected: no retry is worth it.
int FailWithoutRetry(Session& session, int result) {
  session.UpdateResult = result;
  session.retryAdvised = false;
  session.updateSucceeded = false;
  return FailureEnd(session);
}

const DeviceListEntry* SelectedEntry(const Session& session) {
  if (session.selectedDevice < 0 ||
      static_cast<size_t>(session.selectedDevice) >= session.deviceList.size()) {
    return nullptr;
  }
  return &session.deviceList[static_cast<size_t>(session.selectedDevice)];
}

// True when the file name's extension, without its period, is "dll" in any
// letter case.
bool HasLibraryExtension(const std::string& path) {
  const size_t nameStart = path.find_last_of("/\\");
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (nameStart != std::string::npos && dot < nameStart)) {
    return false;
  }
  const std::string extension = path.substr(dot + 1);
  if (extension.size() != 3) return false;
  const char* expected = "dll";
  for (size_t i = 0; i < 3; ++i) {
    if (std::tolower(static_cast<unsigned char>(extension[i])) != expected[i]) return false;
  }
  return true;
}

// Sets a rendering as the text of a field and prints it, through the shared
// message buffer.
void ShowRendering(Session& session, int control, const std::string& text) {
  FormatText(session, "%s", text.c_str());
  session.window.SetText(control, session.MessageBuffer);
  AppendVerbose(session, session.MessageBuffer);
}

// Step 5: the image from the package's HEX lines, or from the firmware file.
bool LoadImage(Session& session) {
  if (session.packageLoaded && !session.firmware.firmwareLines.empty()) {
    session.image = std::make_unique<HexFile>(session.firmware.firmwareLines);
  } else {
    Print(session, "\nUsing the following file: %s\r\n", session.config.firmwarePath.c_str());
    PrintStatus(session, "Loading and parsing file... \r\n");
    session.image = std::make_unique<HexFile>(session.config.firmwarePath);
  }
  // A file that holds no HEX record of the image (a library binary given with
  // /d, for one) fails here as a parse error rather than later as an identity
  // mismatch. A failed image never reaches the update session.
  if (session.image->Parse() != 0 || session.image->segmentCount() == 0) {
    if (session.image->imageTooLarge()) {
      Print(session,
            "ERROR - The firmware file holds more than %u bytes of image data; no controller's "
            "flash holds that much\r\n",
            static_cast<unsigned>(kMaxImageBytes));
    }
    session.image.reset();
    Print(session, "\nError parsing hex file\r\n");
    return false;
  }
  return true;
}

// Step 11.
void ListIdentifiers(Session& session) {
  DeviceIdentity& device = session.device;
  if (session.config.askMode && !session.packageLoaded && !session.config.silent) {
    Print(session,
          "Option to manualy enter I2C info has been removed but can be accomplished with fw "
          "dll.\r\n");
    return;
  }
  device.isI2C = (device.i2cAddress != 0 || device.hidDescriptorAddress != 0) ? 1 : 0;
  Print(session, "\n\nUsing the following IDs -  I2CAdd: 0x%X\r\n", device.i2cAddress);
  Print(session, "                          HIDDesc: 0x%X\r\n", device.hidDescriptorAddress);
  Print(session, "                          ReportID: 0x%d\r\n", device.reportId);
}

}  // namespace

// Step 13: where the device's flash is read from, and so where its factory
// page's structure starts.
bool ReadAccessOffset(Session& session) {
  if (!session.bootloaderMode) {
    Print(session, "Getting Access Offset Address... \r\n");
    uint8_t bytes[4] = {};
    if (BL_ReadMemory(session, kAccessOffsetAddress, sizeof bytes, bytes) != 0) {
      Print(session, "\nERROR - Cannot read memory location: 0x%X\r\n", kAccessOffsetAddress);
      session.UpdateResult = kResultCannotReadMemory;
      session.retryAdvised = true;
      return false;
    }
    session.AccessOffset =
        static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
        (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
    session.CompTableSize = session.AccessOffset - kAccessOffsetBase;
  }
  if (session.CompTableSize == 0) {
    session.CompTableSize = kDefaultCompTableSize;
    if (session.bootloaderMode) {
      const DeviceIdentity& firmware = session.firmware;
      if (ReadPersonalityOffsets(session, firmware.chipId, firmware.firmwareRevision,
                                 firmware.vendorId, firmware.productId) != 0) {
        session.CompTableSize = kDefaultCompTableSize;
      }
    }
  }
  Print(session, "\r\n  Access Address Offset: 0x%X\r\n", session.AccessOffset);
  Print(session, "\r\n  Factory Comp Table Size: 0x%X\r\n", session.CompTableSize);
  return true;
}

namespace {

// Asks whether an incompatible personality file is to be removed; removes it
// on Yes. True when it was removed.
bool OfferRemoval(Session& session, const char* question) {
  if (session.window.ShowMessageBox(question, kRemoveQuestionCaption, MessageButtons::kYesNo,
                                    true) != MessageAnswer::kYes) {
    return false;
  }
  PrintStatus(session, "Removing incompatible personality file: %s",
              session.personalityFileName.c_str());
  // It may be the only copy of some controller's calibration: it is set
  // aside, out of the search, not deleted.
  const std::string aside =
      SetPersonalityFileAside(session, session.personalityFileName, ".removed");
  if (!aside.empty()) Print(session, "\r\nThe file is kept as %s\r\n", aside.c_str());
  session.personality.path.clear();
  return true;
}

// Step 14, when the configuration is not to be read from the device.
void CheckFoundPersonalityFile(Session& session, const DeviceListEntry& entry) {
  if (session.bootloaderMode) {
    const DeviceIdentity& firmware = session.firmware;
    if (CheckPersonalityFile(session, firmware.chipId, firmware.firmwareRevision, firmware.vendorId,
                             firmware.productId) ||
        !OfferRemoval(session, kRemoveQuestionForFirmware)) {
      session.usePersonalityFile = true;
      return;
    }
    session.readConfigFromDevice = false;
    session.usePersonalityFile = false;
    return;
  }
  const DeviceIdentity& device = session.device;
  if (!CheckPersonalityFile(session, device.chipId, device.firmwareRevision, entry.vendorId,
                            entry.productId) &&
      OfferRemoval(session, kRemoveQuestionForDevice)) {
    session.readConfigFromDevice = true;
  }
}

// Step 12 for a controller in its bootloader with no personality file of
// its own anywhere: ready once the unit can be told from the others and the
// user accepts the firmware's defaults (with /r they were asked for).
int ReadyWithoutSavedSettings(Session& session) {
  if (!CheckUnitsApart(session)) return FailureEnd(session);
  if (session.bootloaderMode && session.config.saveFlashConfig && !AskToProgramDefaults(session)) {
    session.UpdateResult = kResultUpdateFailed;
    return FailureEnd(session);
  }
  return kReady;
}

// Step 15 for a device running its firmware. False when refused.
bool ConfirmCompatibility(Session& session) {
  DeviceIdentity& device = session.device;
  const DeviceIdentity& firmware = session.firmware;
  // A failed read leaves the values taken from the device list.
  (void)ReadDeviceIdentity(session, device);
  ShowRendering(session, kIdCurrentFw, RenderDeviceFull(device));
  ShowRendering(session, kIdNewFw, RenderNewFirmware(firmware));
  PrintStatus(session, "Checking Firmware Compatibility...\r\n");
  if (!CheckCompatibility(session, device, firmware, session.config.overrideCompatibility)) {
    session.retryAdvised = false;
    session.usePersonalityFile = false;
    Print(session, "Device has Firmware version: %X:%X\r\n", device.chipId,
          device.firmwareRevision);
    PrintStatus(session, "Attempting to install Firmware version: %X:%X\r\n", firmware.chipId,
                firmware.firmwareRevision);
    session.UpdateResult = kResultUpdateFailed;
    return false;
  }
  PrintStatus(session, "Compatibility confirmed\r\n");
  return true;
}

// Steps 16 and 17.
void ReportVersionsAndProceed(Session& session) {
  const DeviceIdentity& device = session.device;
  const DeviceIdentity& firmware = session.firmware;
  if (device.chipId != 0 && device.firmwareRevision != 0) {
    Print(session, "Device has Firmware version: %X:%X\r\n", device.chipId,
          device.firmwareRevision);
  }
  Print(session, "Attempting to install Firmware version: %X:%X\r\n", firmware.chipId,
        firmware.firmwareRevision);
  if (session.config.silent) {
    Print(session, "Proceeding with the update...\r\n");
    session.system.SleepMs(kSilentProceedWaitMs);
  } else {
    Print(session, "\nPress any key to proceed with the update...\r\n\r\n");
  }
}

}  // namespace

int PrepareUpdate(Session& session) {
  DeviceIdentity& device = session.device;
  DeviceIdentity& firmware = session.firmware;

  // Step 1. The firmware identity must not keep pointing at the image that
  // is destroyed here.
  session.image.reset();
  firmware.image = nullptr;
  session.UpdateResult = 0;
  session.personality = PersonalityChoice{};

  // Without a selected device there is nothing to prepare for.
  const DeviceListEntry* selected = SelectedEntry(session);
  if (selected == nullptr) {
    session.UpdateResult = kResultCannotConnect;
    return FailureEnd(session);
  }
  const DeviceListEntry entry = *selected;

  // Step 2.
  session.packageLoaded = session.config.packageLibraryAllowed &&
                          HasLibraryExtension(session.config.firmwarePath) &&
                          LoadFirmwarePackage(session, firmware) == 0;
  // A rejected candidate leaves its own code (11 or 12) behind; it has been
  // reported on standard output and does not decide this run's result.
  session.UpdateResult = 0;

  // Step 3.
  if (session.packageLoaded &&
      !ConfirmIdentity(session, entry.vendorId, entry.productId, firmware, true)) {
    return FailWithoutRetry(session, kResultIdMismatch);
  }

  // Step 4.
  device.vendorId = entry.vendorId;
  device.productId = entry.productId;
  device.chipId = static_cast<uint8_t>(entry.versionNumber >> 8);
  device.firmwareRevision = static_cast<uint8_t>(entry.versionNumber & 0xFF);
  device.bootloaderVendorId = kBootloaderVendorId;
  device.bootloaderProductId = kBootloaderProductId;

  // Step 5.
  if (!LoadImage(session)) return FailWithoutRetry(session, kResultHexParse);

  // Steps 6 and 7.
  ShowRendering(session, kIdCurrentFw, RenderDeviceShort(device, entry.vendorId, entry.productId));
  ShowRendering(session, kIdNewFw, RenderNewFirmware(firmware));

  // Step 8.
  if (!session.packageLoaded) {
    firmware.image = session.image.get();
    if (ExtractImageIdentity(session, firmware) < 0) {
      PrintStatus(session, "ERROR: New FW VID and PID don't match with device\r\n");
      return FailWithoutRetry(session, kResultIdMismatch);
    }
  }
  Print(session, "Done\r\n");

  // Step 10. Every connect from here on goes to the unit of this entry.
  SelectUnit(session, entry);
  BeginDeviceConnection(session);
  device.reportId = firmware.reportId;
  device.isI2C = firmware.isI2C;
  device.i2cAddress = firmware.i2cAddress;
  device.hidDescriptorAddress = firmware.hidDescriptorAddress;
  Print(session, "Connecting .");
  if (DiscoverDevice(session) == DiscoveryOutcome::kFailed) return FailureEnd(session);

  // Step 11.
  ListIdentifiers(session);

  // Step 12: the personality file of this unit.
  if (session.config.saveFlashConfig && ChoosePersonalityFile(session) == 0) {
    PrintStatus(session, "Found Personality File: %s\r\n", session.personalityFileName.c_str());
    session.preserveFactoryConfig = true;
    session.readConfigFromDevice = false;
  } else if (!session.preserveFactoryConfig) {
    return ReadyWithoutSavedSettings(session);
  }

  // Step 13.
  if (!ReadAccessOffset(session)) return FailureEnd(session);

  // Step 14.
  if (!session.readConfigFromDevice) CheckFoundPersonalityFile(session, entry);

  // Step 15.
  if (session.bootloaderMode) {
    ShowRendering(session, kIdCurrentFw, RenderBootloaderInfo(device));
    device.vendorId = firmware.vendorId;
    device.productId = firmware.productId;
  } else if (!ConfirmCompatibility(session)) {
    return FailureEnd(session);
  }
  if (!CheckUnitsApart(session)) return FailureEnd(session);
  // A controller in its bootloader whose file was removed has nothing left
  // to restore from.
  if (session.bootloaderMode && !session.usePersonalityFile && session.config.saveFlashConfig &&
      !AskToProgramDefaults(session)) {
    session.UpdateResult = kResultUpdateFailed;
    return FailureEnd(session);
  }

  // Steps 16 to 18.
  ReportVersionsAndProceed(session);
  return kReady;
}

}  // namespace padflash
