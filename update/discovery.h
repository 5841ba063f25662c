// Finding the selected controller on the bus: under its own IDs (firmware
// running) or under the bootloader's IDs 0x0488/0xD0C0.
#pragma once

namespace padflash {

struct Session;

enum class DiscoveryOutcome { kDeviceFound, kBootloaderFound, kFailed };

// Who runs the discovery: the preparation flow or the update session. The
// session's run prints " Bootloader connected" without a line end after the
// status read.
enum class DiscoveryCaller { kPreparation, kUpdateSession };

// Entry steps of the preparation flow: closes an earlier connection and makes
// a fresh connection object; prints "Connecting to the device...".
void BeginDeviceConnection(Session& session);

// 20 passes of device try then bootloader try, the status check and the
// bootloader version test. Failure sets UpdateResult 17. Meeting the
// bootloader sets bootloaderMode and clears readConfigFromDevice and
// preserveFactoryConfig; the running firmware answering after that sets them
// back to their program-start values (and clears usePersonalityFile), so a
// controller recovered by one session is read again by the next.
DiscoveryOutcome DiscoverDevice(Session& session,
                                DiscoveryCaller caller = DiscoveryCaller::kPreparation);

}  // namespace padflash
