#include "update/update_session.h"

#include <string>

#include "firmware/device_identity.h"
#include "session/program_version.h"
#include "session/session.h"
#include "update/bootloader_commands.h"
#include "update/discovery.h"
#include "update/factory_block.h"
#include "update/factory_config.h"
#include "update/factory_verification.h"
#include "update/flash_programming.h"
#include "update/memory_transfer.h"
#include "update/personality_store.h"
#include "update/preparation.h"
#include "update/report_frame.h"
#include "update/unit_connection.h"

namespace padflash {
namespace {

constexpr int kInputControls[] = {kIdDeviceCombo, kIdExecute,    kIdBrowse,
                                  kIdRefresh,     kIdDeviceInfo, kIdFilePath};

constexpr int kVerboseLinesKept = 8000;
constexpr int kVerboseCharsDropped = 2000;
constexpr int kReconnectAttempts = 20;
constexpr uint32_t kReconnectPauseMs = 1000;
constexpr uint32_t kBeforeBootloaderReconnectMs = 100;
constexpr uint32_t kExitPauseMs = 1000;

constexpr int kResultOk = 0;
constexpr int kResultAnotherInstance = 2;
constexpr int kResultCannotWriteMemory = 5;
constexpr int kResultCannotReadMemory = 6;
constexpr int kResultCannotReadRam = 7;
constexpr int kResultCannotReadImage = 8;
constexpr int kResultCannotReadFlash = 9;
constexpr int kResultCannotConnect = 17;
constexpr int kResultCannotDisconnect = 18;
constexpr int kResultCannotInvoke = 21;
constexpr int kResultCannotReconnectBootloader = 23;
constexpr int kResultResetFailed = 24;
constexpr int kResultLowBattery = 27;

constexpr uint32_t kKeepAwake = kEsContinuous | kEsSystemRequired | kEsAwayModeRequired;
constexpr uint32_t kKeepAwakeFallback = kEsContinuous | kEsSystemRequired | kEsDisplayRequired;

const char kAsteriskLine[] =
    "****************************************************************************\r\n";
static_assert(sizeof kAsteriskLine - 1 == 76 + 2);

void EnableInputs(Session& session, bool enabled) {
  for (int id : kInputControls) session.window.Enable(id, enabled);
}

void StepBar(Session& session) {
  session.window.StepProgress(kIdProgress);
}

bool Connect(Session& session) {
  const DeviceIdentity& d = session.device;
  return ConnectToSelectedUnit(session, d.vendorId, d.productId, d.reportId) == 0;
}

// Up to 20 attempts, one second apart.
bool ReconnectWithRetries(Session& session) {
  for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
    session.system.SleepMs(kReconnectPauseMs);
    if (Connect(session)) return true;
  }
  return false;
}

// The ending's reconnect after a bootloader reset: the bootloader of a USB
// device may come back under the device's IDs or under its own
// (0x0488/0xD0C0), so each attempt tries both, as the invoke does.
bool ReconnectToBootloader(Session& session) {
  const DeviceIdentity& d = session.device;
  for (int attempt = 0; attempt < kReconnectAttempts; ++attempt) {
    session.system.SleepMs(kReconnectPauseMs);
    if (Connect(session)) return true;
    if (ConnectToSelectedUnit(session, d.bootloaderVendorId, d.bootloaderProductId, d.reportId) ==
        0) {
      return true;
    }
  }
  return false;
}

void Disconnect(Session& session) {
  if (session.connection) session.connection->DisconnectFromDevice();
}

// Step 5. False when another session holds the mutex.
bool TakeSessionMutex(Session& session) {
  session.sessionMutex = session.system.AcquireNamedMutex(kSessionMutexName);
  if (session.sessionMutex) return true;
  // Without a handle the session still runs, unless the name is taken.
  return !session.system.IsNamedMutexHeld(kSessionMutexName);
}

void PrintBanner(Session& session) {
  const ProgramVersion v = ReadProgramVersion();
  Print(session, "%s", kAsteriskLine);
  Print(session, "Velmar Firmware Update Tool - v%d.%d.%d.%d\r\n", v.major, v.minor, v.build,
        v.revision);
  Print(session, "%s\r\n", kNoticeLine);
  Print(session, "\r\n");
  Print(session,
        "This program updates the touchpad or touchscreen firmware,  if appropriate.\r\n\r\n");
  Print(session, "Please don't unplug power and don't unplug the device.\r\n\r\n");
  Print(session, "If any errors are encountered, the touchpad could be disabled.\r\n");
  Print(session, "To restore operation, re - start the computer and run this program again.\r\n");
  Print(session, "%s", kAsteriskLine);
}

// Step 10.
bool InvokeBootloader(Session& session) {
  session.window.Show(kIdMarquee, true);
  session.window.SetMarquee(kIdMarquee, true);
  session.inBootloader = true;
  const DeviceIdentity& d = session.device;
  if (BL_Invoke(session, d.reportId, d.vendorId, d.productId) != 0) {
    PrintStatus(session, "ERROR Invoking the bootloader\r\n");
    session.window.SetMarquee(kIdMarquee, false);
    session.window.Show(kIdMarquee, false);
    session.UpdateResult = kResultCannotInvoke;
    session.retryAdvised = true;
    return false;
  }
  Print(session, "Done\r\n");
  return true;
}

void ShowIdentity(Session& session, int control, const std::string& text) {
  FormatText(session, "%s", text.c_str());
  session.window.SetText(control, session.MessageBuffer);
  AppendVerbose(session, session.MessageBuffer);
}

// Step 13. A device that does not come back is left to a later session: the
// update counts as done, with a retry advised. True when the new firmware
// answered.
bool ReconnectToNewFirmware(Session& session) {
  if (session.device.isI2C == 0) {
    session.device.vendorId = session.firmware.vendorId;
    session.device.productId = session.firmware.productId;
  }
  Print(session, "\r\nReconnect Using the following IDs\r\n");
  ShowIdentity(session, kIdCurrentFw, RenderDeviceFull(session.device));
  ShowIdentity(session, kIdNewFw, RenderNewFirmware(session.firmware));
  const bool answered = ReconnectWithRetries(session);
  if (answered) {
    PrintStatus(session, "ReConnect successful\r\n");
  } else {
    ReportAmbiguousUnit(session);
    PrintStatus(session, "\r\n  Unable to reconnect to touchpad device\r\n");
    session.readConfigFromDevice = false;
    session.preserveFactoryConfig = false;
    session.retryAdvised = true;
    session.bootloaderMode = true;
    session.config.overrideCompatibility = true;
  }
  StepBar(session);
  return answered;
}

bool Fail(Session& session, int result) {
  session.UpdateResult = result;
  session.retryAdvised = true;
  return false;
}

// Step 14.
bool ReadNewAccessOffset(Session& session) {
  if (!session.bootloaderMode) {
    Print(session, "Getting Access Offset Address...\r\n");
    uint8_t bytes[4] = {};
    if (BL_ReadMemory(session, kAccessOffsetAddress, 4, bytes) != 0) {
      Print(session, "ERROR - Cannot read memory location\r\n");
      return Fail(session, kResultCannotReadMemory);
    }
    session.AccessOffset = GetLe32(bytes);
  }
  Print(session, "\r\n  Access Address Offset: 0x%X\r\n", session.AccessOffset);
  return true;
}

// Step 15: the new firmware's ID from RAM, from its image and from the
// factory page, printed, not compared.
bool ReadNewFirmwareId(Session& session) {
  if (session.bootloaderMode) return true;
  PrintStatus(session, "Getting New Firmware ID...\r\n");
  const uint32_t image = ImageConfigAddress(session.device.isI2C != 0) - session.AccessOffset;
  const uint32_t flash = kFactoryPageAddress + session.CompTableSize - session.AccessOffset;
  struct Place {
    uint32_t address;
    const char* error;
    int result;
  };
  const Place places[] = {
      {kRamConfigAddress, "ERROR - Cannot read RAM memory location: 0x%X\r\n",
       kResultCannotReadRam},
      {image, "ERROR - Cannot read IMAGE memory location: 0x%X\r\n", kResultCannotReadImage},
      {flash, "ERROR - Cannot read FLASH memory location: 0x%X\r\n", kResultCannotReadFlash},
  };
  for (size_t i = 0; i < 3; ++i) {
    uint8_t id[2] = {};
    if (BL_ReadMemory(session, places[i].address, 2, id) != 0) {
      Print(session, places[i].error, places[i].address);
      return Fail(session, places[i].result);
    }
    const char* line = FormatText(session, "  New Firmware ID: 0x%X\r\n", id[0] * 256 + id[1]);
    AppendVerbose(session, line);
    if (i == 2) SetStatus(session, line);
  }
  return true;
}

// Step 17.1: a session that ends inside the bootloader resets it first.
// False when the bootloader of a USB device does not come back.
bool LeaveBootloader(Session& session, int& result) {
  if (BL_Reset(session) != 0) {
    Print(session, "\tERROR - Failed to reset bootloader - will continue anyway\r\n");
    session.UpdateResult = kResultResetFailed;
    result = kExitClosingStepFailed;
  }
  if (session.device.isI2C != 0) return true;
  session.system.SleepMs(kBeforeBootloaderReconnectMs);
  Disconnect(session);
  if (ReconnectToBootloader(session)) return true;
  ReportAmbiguousUnit(session);
  PrintStatus(session, "ERROR reconnecting to bootloaderdevice\r\n");
  session.UpdateResult = kResultCannotReconnectBootloader;
  result = kExitClosingStepFailed;
  session.deviceConnected = false;
  return false;
}

// Step 17.2, first part.
void RestoreFeedConfig1(Session& session, int& result) {
  Print(session, "Restoring FeedConfig1 . . .\r\n");
  if (BL_WriteMemory(session, kFeedConfig1Address, 1, &session.savedFeedConfig1) != 0) {
    Print(session, "ERROR - Cannot write memory location\r\n");
    session.UpdateResult = kResultCannotWriteMemory;
    result = kExitClosingStepFailed;
  }
  if (!session.bootloaderMode) {
    // The read-back line follows the error line too; a failed read leaves 0.
    uint8_t readBack = 0;
    if (BL_ReadMemory(session, kFeedConfig1Address, 1, &readBack) != 0) {
      Print(session, "ERROR - Cannot read memory location\r\n");
      session.UpdateResult = kResultCannotReadMemory;
      result = kExitClosingStepFailed;
    }
    Print(session, "FeedConfig1 reads:0x%X\r\n", readBack);
  }
  Print(session, "Done\r\n");
}

// Step 17.2. Until the new firmware has answered, the personality file may be
// the only copy of the calibration that a later run can restore: a controller
// that never came back (still in its bootloader, say) keeps it.
void CloseConnection(Session& session, int& result, bool newFirmwareAnswered) {
  if (session.usePersonalityFile && session.readConfigFromDevice) {
    RestoreFeedConfig1(session, result);
  }
  if (session.UpdateResult == kResultOk && session.updateSucceeded && !newFirmwareAnswered) {
    Print(session, "Keeping temp config file until the new firmware answers: %s\r\n",
          session.personalityFileName.c_str());
  } else if (session.UpdateResult == kResultOk && session.updateSucceeded) {
    if (!VerifyRestoredPage(session)) {
      result = kExitClosingStepFailed;
    } else {
      RetirePersonalityFile(session);
      // With the file gone, a later session of this run reads the device
      // again instead of looking for it.
      session.readConfigFromDevice = true;
      session.preserveFactoryConfig = true;
      session.usePersonalityFile = false;
      session.personality.path.clear();
    }
  }
  PrintStatus(session, "Disconnecting from device... \r\n");
  StepBar(session);
  if (session.connection == nullptr || session.connection->DisconnectFromDevice() != 0) {
    Print(session, "ERROR disconnecting from device\r\n");
    session.UpdateResult = kResultCannotDisconnect;
    result = kExitClosingStepFailed;
  }
  session.deviceConnected = false;
  Print(session, "Done\r\n");
}

// Step 17.
int EndSession(Session& session, int result, bool newFirmwareAnswered) {
  bool connectionUsable = true;
  if (session.inBootloader) connectionUsable = LeaveBootloader(session, result);
  if (connectionUsable && session.deviceConnected) {
    CloseConnection(session, result, newFirmwareAnswered);
  }

  if (session.updateSucceeded) {
    PrintStatus(session, "Firmware was successfully updated to version: %X.%X\r\n",
                session.firmware.chipId, session.firmware.firmwareRevision);
    Print(session, "Done\r\n");
    StepBar(session);
    if (session.retryAdvised) result = kExitSuccessRetryAdvised;
  } else {
    PrintStatus(session, "The Firmware update was NOT completed\r\n");
    result = kExitFailure;
    if (session.retryAdvised) Print(session, "Please try again\r\n");
  }

  if (session.config.silent) {
    Print(session, "Exiting...\r\n");
    session.system.SleepMs(kExitPauseMs);
  } else if (result != kExitSuccess && result != kExitSuccessRetryAdvised) {
    session.window.ShowMessageBox(
        "Something happened. Check the verbos output window.\r\n\tPress OK to Exit",
        "FW Update Incomplete", MessageButtons::kOk, true);
    SetStatus(session,
              "Something happened. Check the verbos output window. \r\n\r\n\tRerun the fw update "
              "after pressing the Refresh button to update the latest device state and info.");
    session.window.Show(kIdExecute, false);
  }

  StepBar(session);
  session.system.SetExecutionState(kEsContinuous);
  session.window.Show(kIdProgress, false);
  session.sessionMutex.reset();
  return result;
}

// Steps 8 to 16. True when the update reached its success mark.
bool RunSteps(Session& session, bool& newFirmwareAnswered) {
  Print(session, "Connecting .");
  if (!session.connection) return Fail(session, kResultCannotConnect);
  const bool preparedInBootloader = session.bootloaderMode;
  if (DiscoverDevice(session, DiscoveryCaller::kUpdateSession) == DiscoveryOutcome::kFailed) {
    return false;
  }
  // What is attached may have changed since the preparation: nothing is
  // written unless the unit can still be told from the others.
  RefreshOtherControllers(session);
  if (!CheckUnitsApart(session)) return false;
  // The controller was prepared in its bootloader and runs its firmware now
  // (an earlier session of this run recovered it): it is read as a running
  // device is, from its own access offset on.
  if (preparedInBootloader && !session.bootloaderMode && !ReadAccessOffset(session)) return false;
  if (!PreserveFactoryConfig(session)) return false;
  if (!InvokeBootloader(session)) return false;
  // A battery that runs low after the invoke ends the session (the ending
  // resets the bootloader); the user is not asked to try again.
  if (CheckPowerSource(session) > 0) {
    session.UpdateResult = kResultLowBattery;
    return false;
  }
  PrepareProgressBar(session);
  if (!ProgramImage(session)) return false;
  newFirmwareAnswered = ReconnectToNewFirmware(session);
  if (!ReadNewAccessOffset(session)) return false;
  if (!ReadNewFirmwareId(session)) return false;
  StepBar(session);
  session.updateSucceeded = true;
  return true;
}

}  // namespace

int UpdateThread(Session& session) {
  EnableInputs(session, false);
  const int result = RunUpdateSession(session);
  if (result != 0 && session.UpdateResult >= 0 && session.UpdateResult < kResultMessageCount) {
    SetStatus(session, ResultMessages[session.UpdateResult]);
  }
  EnableInputs(session, true);
  return result;
}

int RunUpdateSession(Session& session) {
  session.updateSucceeded = false;
  session.inBootloader = false;
  if (session.defaultConfigInstructions.size() != 2) {
    session.defaultConfigInstructions = DefaultConfigInstructions();
  }

  if (session.window.GetLineCount(kIdVerbose) > kVerboseLinesKept) {
    session.window.DeleteLeadingChars(kIdVerbose, kVerboseCharsDropped);
  }
  PrintStatus(session, "BEGIN FW Update\r\n");

  if (CheckPowerSource(session) > 0) {
    session.UpdateResult = kResultLowBattery;
    return kExitLowBattery;
  }
  if (!TakeSessionMutex(session)) {
    PrintStatus(session, "Another instance of this utility is already running.\r\n");
    session.UpdateResult = kResultAnotherInstance;
    return kExitFailure;
  }
  if (!session.system.SetExecutionState(kKeepAwake)) {
    Print(session, "WARNING Could not set Thread Execution State to block Sleep\r\n");
    session.system.SetExecutionState(kKeepAwakeFallback);
  }
  PrintBanner(session);
  session.UpdateResult = kResultOk;

  bool newFirmwareAnswered = false;
  const int result = RunSteps(session, newFirmwareAnswered) ? kExitSuccess : kExitFailure;
  return EndSession(session, result, newFirmwareAnswered);
}

}  // namespace padflash
