// The small bootloader operations: invoke, reset, the in-bootloader check,
// the last error and the full status. All work on the session's connection
// object and return at once with their no-connection result when it has none.
#pragma once

#include <cstdint>

namespace padflash {

struct Session;

// Restarts the firmware into its bootloader and reconnects. 0 / -1.
int BL_Invoke(Session& session, uint8_t reportId, uint16_t vendorId, uint16_t productId);
// Leaves the bootloader. 0; -1 only without a connection object.
int BL_Reset(Session& session);
// True when a status read succeeds with sentinel 0x5AC3.
bool BL_CheckInBootloader(Session& session);
// The last-error byte; -2 invalid sentinel; -1 all reads failed or no object.
int BL_GetLastError(Session& session);
// 1 bootloader, 0 firmware or invalid sentinel, -1 all reads failed, -2 no
// object. Prints the status and stores the version in the session.
int BL_GetStatus(Session& session);

}  // namespace padflash
