// The check-everything flow between choosing a device and a firmware file and
// being allowed to press Execute.
#pragma once

namespace padflash {

struct Session;

// 0 ready (the caller shows Execute); 1 not ready (Execute already hidden).
int PrepareUpdate(Session& session);

// Step 13: the access offset read from the device (unless it answers as its
// bootloader) and the comp table size taken from it. False, with
// UpdateResult 6 and retryAdvised, when it cannot be read. An update session
// runs it too when its discovery finds the running firmware of a controller
// that was prepared in its bootloader.
bool ReadAccessOffset(Session& session);

}  // namespace padflash
