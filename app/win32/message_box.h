// The system's message boxes on Windows: MessageBoxA with the texts,
// caption and buttons the engine gives, no icon.
#pragma once

#include <windows.h>

#include <string_view>

#include "platform/window_port.h"

namespace padflash {

// Modal; `owner` may be null (a box of its own, as the command-line help).
MessageAnswer ShowWin32MessageBox(HWND owner, std::string_view text, std::string_view caption,
                                  MessageButtons buttons);

}  // namespace padflash
