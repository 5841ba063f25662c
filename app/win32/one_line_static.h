// The status line: a one-line static (SS_LEFTNOWORDWRAP) keeps the text it
// is given, as GetWindowText reads it, and only its drawing is one line: a
// static would draw the line ends of the engine's messages as glyphs.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace padflash {

// A static with the SS_LEFTNOWORDWRAP style.
bool IsOneLineStatic(HWND control);
// Gives the static its one-line drawing (WM_PAINT and WM_PRINTCLIENT) for
// the rest of its life.
void DrawAsOneLine(HWND control);

}  // namespace padflash
