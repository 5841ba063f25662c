// The About box (template 104): the program's version and notice, its
// command-line switches and bitmap 131, on white.
#pragma once

#include <windows.h>

#include <string>

namespace padflash {

// Modal, owned by `owner`; `white` paints the box and its statics.
// `programPath` is the running program's file, shown by its name only.
void ShowAboutBox(HINSTANCE instance, HWND owner, HBRUSH white, const std::string& programPath);

}  // namespace padflash
