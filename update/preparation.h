// The check-everything flow between choosing a device and a firmware file and
// being allowed to press Execute.
#pragma once

namespace padflash {

struct Session;

// 0 ready (the caller shows Execute); 1 not ready (Execute already hidden).
int PrepareUpdate(Session& session);

}  // namespace padflash
