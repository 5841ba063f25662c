#include "update/discovery.h"

#include "session/output.h"
#include "session/session.h"
#include "update/bootloader_commands.h"
#include "update/unit_connection.h"

namespace padflash {

namespace {

constexpr int kConnectPasses = 20;
constexpr uint32_t kPassWaitMs = 1000;
constexpr int kMinBootloaderVersionI2C = 4;
constexpr int kMinBootloaderVersionUSB = 2;
constexpr int kCannotConnect = 17;

// Meeting the bootloader means the firmware is not running: nothing can be
// read from it, the compatibility check cannot be made, and a failed update
// is worth another try.
void MarkBootloaderMet(Session& session) {
  session.readConfigFromDevice = false;
  session.preserveFactoryConfig = false;
  session.retryAdvised = true;
  session.bootloaderMode = true;
  session.config.overrideCompatibility = true;
}

// The running firmware answers where an earlier discovery met the bootloader
// (the session before this one recovered it): its factory configuration can
// be read again, as at program start. A personality file, if there is one,
// is looked for anew by the preparation.
void MarkFirmwareRunning(Session& session) {
  session.bootloaderMode = false;
  session.readConfigFromDevice = true;
  session.preserveFactoryConfig = true;
  session.usePersonalityFile = false;
}

DiscoveryOutcome Fail(Session& session) {
  session.UpdateResult = kCannotConnect;
  session.retryAdvised = true;
  return DiscoveryOutcome::kFailed;
}

// One second apart, the device's own IDs and then the bootloader's, 20 times.
DiscoveryOutcome ConnectLoop(Session& session) {
  VirtualVLMHIDInterface& connection = *session.connection;
  const DeviceIdentity& device = session.device;
  for (int pass = 0; pass < kConnectPasses; ++pass) {
    if (session.deviceConnected) {
      connection.DisconnectFromDevice();
      session.deviceConnected = false;
    }
    session.system.SleepMs(kPassWaitMs);
    Print(session, "\r\nUsing the following IDs -  Vendor: 0x%X       Attempt: %d\r\n",
          device.vendorId, pass);
    Print(session, "                           Product: 0x%X\r\n", device.productId);
    if (ConnectToSelectedUnit(session, device.vendorId, device.productId, device.reportId) == 0) {
      PrintStatus(session, " Device found\r\n");
      return DiscoveryOutcome::kDeviceFound;
    }

    Print(session, " .");
    PrintStatus(session, "Looking for Bootloader\r\n");
    Print(session, "     Trying the following Bootloader IDs -  Vendor: 0x%X\r\n",
          device.bootloaderVendorId);
    Print(session, "                                            Product: 0x%X\r\n",
          device.bootloaderProductId);
    session.system.SleepMs(kPassWaitMs);
    if (ConnectToSelectedUnit(session, device.bootloaderVendorId, device.bootloaderProductId,
                              device.reportId) == 0) {
      PrintStatus(session, " Bootloader connected\r\n");
      MarkBootloaderMet(session);
      return DiscoveryOutcome::kBootloaderFound;
    }
    Print(session, " .");
  }
  ReportAmbiguousUnit(session);
  PrintStatus(session,
              "ERROR unable to connect to device - device not present in Device Manager\r\n");
  Print(session, " - Initial connect could not find Device or Bootloader after %d attempts\r\n",
        kConnectPasses);
  return DiscoveryOutcome::kFailed;
}

}  // namespace

void BeginDeviceConnection(Session& session) {
  if (session.deviceConnected) {
    if (session.connection) session.connection->DisconnectFromDevice();
    session.deviceConnected = false;
  }
  session.connection.reset(session.createInterface ? session.createInterface() : nullptr);
  PrintStatus(session, "Connecting to the device...\r\n");
}

DiscoveryOutcome DiscoverDevice(Session& session, DiscoveryCaller caller) {
  // Without a connection object nothing can be tried.
  if (!session.connection) return Fail(session);

  DiscoveryOutcome outcome = ConnectLoop(session);
  if (outcome == DiscoveryOutcome::kFailed) return Fail(session);

  // Whoever answered, the status read tells whether it is the bootloader.
  int status = BL_GetStatus(session);
  if (status == 1) {
    PrintStatus(session, caller == DiscoveryCaller::kUpdateSession ? " Bootloader connected"
                                                                   : " Bootloader connected\r\n");
    MarkBootloaderMet(session);
  } else if (status < 0) {
    PrintStatus(session, "ERROR connecting to Bootloader\r\n");
    return Fail(session);
  } else if (outcome == DiscoveryOutcome::kDeviceFound && session.bootloaderMode) {
    MarkFirmwareRunning(session);
  }

  const int minimum =
      session.device.isI2C != 0 ? kMinBootloaderVersionI2C : kMinBootloaderVersionUSB;
  if (session.bootloaderVersion < minimum) {
    PrintStatus(session, "Outdated Bootloader Version\r\n");
    session.window.ShowMessageBox(
        "The version of the bootloader in this device is outdated. A fix can be provided to "
        "update the fw bootloader.",
        "Outdated Bootloader Version", MessageButtons::kOk, true);
    return Fail(session);
  }

  Print(session, "Done\r\n");
  session.deviceConnected = true;
  return outcome;
}

}  // namespace padflash
