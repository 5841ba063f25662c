// padflash.exe: the Win32 dialog program over the engine and the
// main-window controller.
#include <windows.h>

#include <cstdlib>

#include "VLMHID.h"
#include "app/main_window.h"
#include "app/win32/win32_program_host.h"
#include "app/win32/win32_window_port.h"
#include "native_system_port.h"
#include "session/session.h"

using namespace padflash;

namespace {

// The running program's file (the About box shows its name).
std::string ProgramFilePath() {
  char path[kMaxPathChars] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, kMaxPathChars);
  return length > 0 && length < kMaxPathChars ? std::string(path, length) : "padflash.exe";
}

}  // namespace

// The arguments are split by the C runtime's standard rules; argument 0 is
// the program path as it was typed.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  Win32WindowPort window;
  NativeSystemPort system;
  Session session(window, system, [] { return CreateVLMHIDInterface(); });
  Win32ProgramHost host(instance, showCommand, window, ProgramFilePath());
  return RunProgram(session, __argc, __argv, host);
}
