// The console of padflash-cli.exe. A stream is a terminal when it is a
// console (GetConsoleMode answers); _isatty would also take the NUL device
// for one, as deployment tools attach it. The streams stay in text mode:
// the console window writes "\n", which the C runtime turns into the
// Windows line end "\r\n", and typed answers are read with their "\r\n" as
// "\n".
#include "app/console/console_streams.h"

#include <windows.h>

#include <string>

namespace padflash {
namespace {

bool IsConsole(DWORD stream) {
  HANDLE handle = GetStdHandle(stream);
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

}  // namespace

ConsoleStreams::ConsoleStreams() {
  liveStatus_ = IsConsole(STD_ERROR_HANDLE);
  interactive_ = liveStatus_ && IsConsole(STD_INPUT_HANDLE);
}

// The live line (at most 79 characters) is blanked with spaces, which every
// console shows as such; escape sequences need a console that has them
// switched on.
const char* ConsoleStreams::clearLine() const {
  static const std::string blank = "\r" + std::string(79, ' ') + "\r";
  return blank.c_str();
}

}  // namespace padflash
