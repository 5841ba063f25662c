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
  // The working folder is where personality files are kept: on Windows
  // browsing to another folder would make that the working folder.
  request.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
  return GetOpenFileNameA(&request) != FALSE;
}

}  // namespace padflash
