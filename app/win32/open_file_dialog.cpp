#include "app/win32/open_file_dialog.h"

#include <commdlg.h>

namespace padflash {
namespace {
// Pairs of display name and pattern, each zero-terminated; a second zero
// ends the list.
constexpr char kFilters[] = "Hex file\0*.HEX\0dll\0*.dll\0All\0*.*\0";
}  // namespace

bool ChooseFirmwareFile(HWND owner, char (&fileName)[kMaxPathChars]) {
  OPENFILENAMEA request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = owner;
  request.lpstrFilter = kFilters;
  request.nFilterIndex = 1;
  request.lpstrFile = fileName;
  request.nMaxFile = kMaxPathChars;
  request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  return GetOpenFileNameA(&request) != FALSE;
}

}  // namespace padflash
