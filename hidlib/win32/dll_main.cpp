// The entry point of every VLMHID DLL: it records the module handle and
// always reports success.
#include "hidlib/win32/library_module.h"

namespace {

HMODULE libraryModule = nullptr;

}  // namespace

namespace vlmhid::win32 {

HMODULE LibraryModule() {
  return libraryModule;
}

}  // namespace vlmhid::win32

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) libraryModule = instance;
  return TRUE;
}
