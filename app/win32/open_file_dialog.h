// Browse's open-file dialog.
#pragma once

#include <windows.h>

#include "session/session.h"

namespace padflash {

// GetOpenFileNameA owned by `owner`, on the 260-character file-name buffer:
// filters "Hex file" (*.HEX, preselected), "dll" (*.dll) and "All" (*.*);
// the path and the file must exist. True when the user confirmed a file.
bool ChooseFirmwareFile(HWND owner, char (&fileName)[kMaxPathChars]);

}  // namespace padflash
