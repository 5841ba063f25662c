// The module handle of the VLMHID DLL, recorded by its entry point when the
// process attaches it (null before that, and in programs that link the
// library's code statically).
#pragma once

#include "hidlib/win32/windows_hid.h"

namespace vlmhid::win32 {

HMODULE LibraryModule();

}  // namespace vlmhid::win32
