#include "update/bootloader_commands.h"

#include <cstring>

#include "session/session.h"
#include "update/bootloader_status.h"
#include "update/report_frame.h"
#include "update/unit_connection.h"

namespace padflash {

namespace {

constexpr int kConnectPasses = 20;
constexpr uint32_t kConnectPauseMs = 1000;
constexpr int kSettleSteps = 20;
constexpr uint32_t kSettlePauseMs = 500;
constexpr int kStatusReadAttempts = 100;
constexpr uint32_t kInBootloaderPauseMs = 100;
constexpr uint32_t kStatusPauseMs = 10;
constexpr uint32_t kResetPauseMs = 1000;
constexpr int kResultCannotConnect = 17;

// Sends a command that has nothing after its code. The firmware or the
// bootloader restarts at once, so the write's result says nothing.
void SendBareCommand(VirtualVLMHIDInterface& connection, uint8_t code) {
  ReportFrame frame{};
  frame[0] = code;
  (void)connection.WriteFeatureReport(frame.data(), kReportSize);
}

// Reads the status header, up to 100 attempts with `pauseMs` before each,
// printing ". " per attempt. False when every attempt failed.
bool ReadStatus(Session& session, ReportFrame& frame, uint32_t pauseMs, bool reportAttempts) {
  for (int attempt = 0; attempt < kStatusReadAttempts; ++attempt) {
    session.system.SleepMs(pauseMs);
    Print(session, ". ");
    if (session.connection->ReadFeatureReport(frame.data(), kReportSize) == 0) return true;
    if (reportAttempts) Print(session, "BL_GetLastError attempt # %d\r\n", attempt);
  }
  return false;
}

void StepMarquee(Session& session) {
  session.window.StepProgress(kIdMarquee);
}

// Tries the device's own IDs, then the bootloader's, once per pass; the
// number of the pass that connected, or -1 after the last one.
int ReconnectAfterInvoke(Session& session, uint8_t reportId, uint16_t vendorId,
                         uint16_t productId) {
  Print(session, "Invoking Bootloader .");
  for (int pass = 0; pass < kConnectPasses; ++pass) {
    session.system.SleepMs(kConnectPauseMs);
    Print(session, "     Trying the following Device IDs -  Vendor: 0x%X\r\n", vendorId);
    Print(session, "                                        Product: 0x%X\r\n", productId);
    const bool device = ConnectToSelectedUnit(session, vendorId, productId, reportId) == 0;
    StepMarquee(session);
    if (device) return pass;

    Print(session, " .");
    Print(session, "     Trying the following Bootloader IDs -  Vendor: 0x%X\r\n",
          kBootloaderVendorId);
    Print(session, "                                        Product: 0x%X\r\n",
          kBootloaderProductId);
    session.system.SleepMs(kConnectPauseMs);
    const bool bootloader =
        ConnectToSelectedUnit(session, kBootloaderVendorId, kBootloaderProductId, reportId) == 0;
    StepMarquee(session);
    if (bootloader) return pass;
    Print(session, " .");
  }
  return -1;
}

// "Waiting on device . " on the status line, growing by ". " every 500 ms.
// The status text is kept here: the message buffer holds each ". " printed.
void WaitForDeviceToSettle(Session& session) {
  char status[kMessageBufferSize];
  PrintStatus(session, "Waiting on device . ");
  std::memcpy(status, session.MessageBuffer, sizeof status);
  for (int i = 0; i < kSettleSteps; ++i) {
    session.system.SleepMs(kSettlePauseMs);
    Print(session, ". ");
    FormatText(session, "%s. ", status);
    SetStatus(session, session.MessageBuffer);
    std::memcpy(status, session.MessageBuffer, sizeof status);
  }
  Print(session, "\r\n\r\n");
}

}  // namespace

int BL_Invoke(Session& session, uint8_t reportId, uint16_t vendorId, uint16_t productId) {
  if (!session.connection) return -1;

  PrintStatus(session, "Invoking Bootloader... \r\n");
  StepMarquee(session);

  SendBareCommand(*session.connection, kCmdInvoke);
  StepMarquee(session);

  Print(session, "Disconnecting from device to reconnect as bootloader\r\n");
  session.connection->DisconnectFromDevice();
  StepMarquee(session);

  const int pass = ReconnectAfterInvoke(session, reportId, vendorId, productId);
  StepMarquee(session);
  if (pass < 0) {
    ReportAmbiguousUnit(session);
    Print(session, "ERROR connecting to device while invoking Bootloader\r\n");
    Print(session, " - Could not find Bootloader\r\n");
    session.UpdateResult = kResultCannotConnect;
    return -1;
  }

  Print(session, " Connected\r\n");
  if (pass > 0) WaitForDeviceToSettle(session);
  StepMarquee(session);

  const bool inBootloader = BL_CheckInBootloader(session);
  StepMarquee(session);
  if (!inBootloader) return -1;
  Print(session, "Done \r\n ");
  return 0;
}

int BL_Reset(Session& session) {
  if (!session.connection) return -1;
  Print(session, "\r\nResetting...");
  session.system.SleepMs(kResetPauseMs);
  SendBareCommand(*session.connection, kCmdReset);
  Print(session, "Done\r\n");
  return 0;
}

bool BL_CheckInBootloader(Session& session) {
  if (!session.connection) return false;
  Print(session, "\r\nChecking InBootloader. ");
  ReportFrame frame{};
  if (!ReadStatus(session, frame, kInBootloaderPauseMs, false)) {
    Print(session,
          "Unable to check if InBootloader\r\nVirtualVLMHIDInterface1.ReadFeatureReport Error: "
          "0x%X\r\n",
          static_cast<unsigned>(session.system.LastError()));
    return false;
  }
  Print(session, "Done\r\n");
  return DecodeBootloaderStatus(frame).sentinel == kSentinelBootloader;
}

int BL_GetLastError(Session& session) {
  if (!session.connection) return -1;
  ReportFrame frame{};
  if (!ReadStatus(session, frame, kStatusPauseMs, true)) {
    Print(session, "Unable to GetLastError from Bootloader\r\n");
    Print(session, "  HIDInterface1.ReadFeatureReport Error\r\n");
    Print(session, "  BL_GetLastError \r\n");
    return -1;
  }
  Print(session, "Done\r\n");
  const BootloaderStatus status = DecodeBootloaderStatus(frame);
  if (status.sentinel != kSentinelBootloader && status.sentinel != kSentinelImage) return -2;
  return status.lastError;
}

int BL_GetStatus(Session& session) {
  if (!session.connection) return -2;
  Print(session, "Getting Bootloader status. ");
  ReportFrame frame{};
  if (!ReadStatus(session, frame, kStatusPauseMs, false)) {
    Print(session,
          "Unable to Get Bootloader Status\r\nBootloader status: "
          "HIDInterface1.ReadFeatureReport Error: 0x%X\r\n",
          static_cast<unsigned>(session.system.LastError()));
    return -1;
  }
  const BootloaderStatus status = DecodeBootloaderStatus(frame);
  Print(session, "Done\r\n");
  Print(session, "Status...\r\n");
  Print(session, "Sentinel: 0x%X\r\n", status.sentinel);

  int result = 0;
  if (status.sentinel == kSentinelBootloader) {
    Print(session, "(Valid - Aquired via Bootloader Access)\r\n");
    result = 1;
  } else if (status.sentinel == kSentinelImage) {
    Print(session, "(Valid - Aquired via Image Access)\r\n");
  } else {
    Print(session, "(INVALID SENTINEL VALUE)\r\n");
  }

  const StatusFlagTexts flags = DescribeStatusFlags(status.flags);
  Print(session, "Version: 0x%X\r\n", status.version);
  Print(session, "LastError: 0x%X (%s)\r\n", status.lastError, NvErrorName(status.lastError));
  Print(session, "Flags: 0x%X\r\n", status.flags);
  Print(session, "  Image Layout: %s\r\n", flags.imageLayout);
  Print(session, "  Active Image: %s\r\n", flags.activeImage);
  Print(session, "  Busy: %s\r\n", flags.busy);
  Print(session, "  Image Valid: %s\r\n", flags.imageValid);
  Print(session, "  Force: %s\r\n", flags.force);

  session.bootloaderVersion = status.version;
  return result;
}

}  // namespace padflash
