// Stop requests on Windows, through SetConsoleCtrlHandler. Ctrl+C and
// Ctrl+Break are only noted: the handler answers TRUE and the program goes
// on. After a close, logoff or shutdown event Windows ends the process as
// soon as the handler returns, or when its grace runs out (about five
// seconds for a close): the handler then waits for the session to end, so
// that a session in its last seconds (validation, restoring the settings)
// still finishes; one that needs longer is cut off as by a power loss of
// the host, and the next run recovers the controller.
#include "app/console/stop_requests.h"

#include <windows.h>

#include <cstdio>

namespace padflash {
namespace {

volatile LONG deferredEvent = -1;
HANDLE sessionEnded = nullptr;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  InterlockedCompareExchange(&deferredEvent, static_cast<LONG>(event), -1);
  std::fputs(
      "padflash-cli: the firmware update cannot be stopped now; padflash-cli ends when it is "
      "done\n",
      stderr);
  std::fflush(stderr);
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && sessionEnded != nullptr) {
    WaitForSingleObject(sessionEnded, INFINITE);
  }
  return TRUE;
}

}  // namespace

StopRequestsDeferred::StopRequestsDeferred() {
  deferredEvent = -1;
  sessionEnded = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

StopRequestsDeferred::~StopRequestsDeferred() {
  // A close event's handler still waiting goes on now; the event handle
  // stays open for it (the process is about to end).
  if (sessionEnded != nullptr) SetEvent(sessionEnded);
  SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
}

const char* StopRequestsDeferred::Deferred() const {
  switch (deferredEvent) {
    case CTRL_C_EVENT:
      return "Ctrl+C";
    case CTRL_BREAK_EVENT:
      return "Ctrl+Break";
    case CTRL_CLOSE_EVENT:
      return "the console's close";
    case CTRL_LOGOFF_EVENT:
      return "a logoff";
    case CTRL_SHUTDOWN_EVENT:
      return "a shutdown";
    default:
      return nullptr;
  }
}

}  // namespace padflash
