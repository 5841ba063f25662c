// Whether a firmware may be flashed into a controller: the identity questions
// asked while the firmware identity is filled, and the rules applied once the
// device's own identity has been read.
#include "update/compatibility.h"

#include "session/output.h"
#include "session/session.h"

namespace padflash {

namespace {

bool AskYesNo(Session& session, const char* text, const char* caption) {
  return session.window.ShowMessageBox(text, caption, MessageButtons::kYesNo, true) ==
         MessageAnswer::kYes;
}

// The wording of one ID question and of its printed answers.
struct IdQuestion {
  const char* caption;
  const char* text;
  const char* declined;        // printed after No
  const char* declinedStatus;  // status line after No
  const char* accepted;        // printed after Yes
};

constexpr IdQuestion kVendorQuestion{
    "VendorID does not Match",
    "The VendorID of the selected device does not match the ID in the Firmware file provided. "
    "Would you like to continue and override the one in the device with the new one in the "
    "Firmware?",
    "The VendorID of the selected device does not match the ID in the Firmware file provided. "
    "User chose not to override the values with the ones in the FW file.\r\n",
    "The VendorID does not match. User chose not to override.\r\n",
    "The VendorID of the selected device does not match the ID in the Firmware file provided. "
    "User chose to override the values with the ones in the FW file.\r\n",
};

constexpr IdQuestion kProductQuestion{
    "ProductID does not Match",
    "The ProductID of the selected device does not match the ID in the Firmware file provided. "
    "Would you like to continue and override the one in the device with the new one in the "
    "Firmware?",
    "The ProductID of the selected device does not match the ID in the Firmware file provided. "
    "User chose not to override the values with the ones in the FW file.\r\n",
    "The ProductID does not match. User chose not to override.\r\n",
    "The ProductID of the selected device does not match the ID in the Firmware file provided. "
    "User chose to override the values with the ones in the FW file.\r\n",
};

bool AskIdQuestion(Session& session, const IdQuestion& question, bool printAnswers) {
  const bool yes = AskYesNo(session, question.text, question.caption);
  if (printAnswers) {
    if (yes) {
      Print(session, "%s", question.accepted);
    } else {
      Print(session, "%s", question.declined);
      SetStatus(session, FormatText(session, "%s", question.declinedStatus));
    }
  }
  return yes;
}

// Rule 2: an I2C firmware must keep the device's I2C address and HID
// descriptor address, and the device's bootloader must sit at the same ones.
bool I2cAddressingMatches(const DeviceIdentity& device, const DeviceIdentity& firmware) {
  return device.i2cAddress == device.bootloaderI2cAddress &&
         device.i2cAddress == firmware.i2cAddress &&
         device.hidDescriptorAddress == device.bootloaderHidDescriptorAddress &&
         device.hidDescriptorAddress == firmware.hidDescriptorAddress;
}

bool IsListedCompatible(const DeviceIdentity& device, const DeviceIdentity& firmware) {
  const uint16_t revision = device.firmwareRevision;
  for (uint16_t id : firmware.compatibleFirmwareIds) {
    if (id == revision) return true;
  }
  return false;
}

// Rule 6: an older or an unlisted newer firmware, after its warning.
bool DecideVersionWarning(Session& session, const char* warning, bool overrideCompatibility) {
  PrintStatus(session, "%s", warning);
  Print(session, "\r\n");
  if (overrideCompatibility) {
    Print(session, "FW Compatibility Allowed - Done\r\n");
    return true;
  }
  if (session.config.silent) {
    Print(session, "FW Version Compatibility Check will not allow this to proceed\r\n");
    return false;
  }
  if (!AskYesNo(session, "The FW Version is an older version. \r\n\tDo you want to continue?",
                "FW Downgrade")) {
    Print(session, "FW Version same or older NOT-ALLOWED with customer input\r\n");
    Print(session, "FW Version Compatibility Check will not allow this to proceed\r\n");
    return false;
  }
  Print(session, "FW Version same or older ALLOWED with customer input\r\n");
  Print(session, "FW Compatibility Allowed - Done\r\n");
  return true;
}

}  // namespace

bool ConfirmIdentity(Session& session, uint16_t entryVendorId, uint16_t entryProductId,
                     const DeviceIdentity& firmware, bool printAnswers) {
  if (entryVendorId != firmware.vendorId &&
      !AskIdQuestion(session, kVendorQuestion, printAnswers)) {
    return false;
  }
  if (entryProductId != firmware.productId &&
      !AskIdQuestion(session, kProductQuestion, printAnswers)) {
    return false;
  }
  return true;
}

bool CheckCompatibility(Session& session, DeviceIdentity device, DeviceIdentity firmware,
                        bool overrideCompatibility) {
  if (!overrideCompatibility &&
      (device.vendorId != firmware.vendorId || device.productId != firmware.productId)) {
    Print(session,
          "VID PID mismatch NOT ALLOWED try using cmd line argument /o for override. See About "
          "for more details.\r\n");
    return false;
  }
  if (firmware.isI2C && !I2cAddressingMatches(device, firmware)) {
    PrintStatus(session,
                "ERROR - The Device I2C Address and HID Descriptor cannot be different in the new "
                "FW file. There is no override for this Error.\r\n");
    return false;
  }
  if (!overrideCompatibility && device.chipId != firmware.chipId) {
    Print(session,
          "CHIP ID mismatch NOT ALLOWED. Try using Override cmd argument /o. See About for more "
          "info.\r\nModule ChipID: 0x%X  File ChipID: 0x%X\r\n",
          device.chipId, firmware.chipId);
    return false;
  }
  if (IsListedCompatible(device, firmware)) {
    Print(session, "FW Version, VID/PID, and CHIP ID Compatibility verified\r\n");
    return true;
  }
  if (device.firmwareRevision == firmware.firmwareRevision) {
    PrintStatus(session, "WARNING - Firmware version is the same\r\n");
    return true;
  }
  const char* warning = device.firmwareRevision > firmware.firmwareRevision
                            ? "WARNING - Attempting to load an older version of Firmware\r\n"
                            : "WARNING - Firmware ID is NOT in compatibilty list\r\n";
  return DecideVersionWarning(session, warning, overrideCompatibility);
}

}  // namespace padflash
