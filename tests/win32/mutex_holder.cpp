// Holds a named mutex for a test in another process.
//   mutex_holder <mutex> <ready event> <release event>
// Takes the mutex through the system port, sets the ready event and keeps
// the mutex until the release event is set (at most a minute).
#include <windows.h>

#include <memory>

#include "platform/win32/win32_system_port.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  padflash::Win32SystemPort port;
  std::unique_ptr<padflash::NamedMutex> mutex = port.AcquireNamedMutex(argv[1]);
  if (!mutex) return 3;
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
  if (ready == nullptr || release == nullptr) return 4;
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  return 0;
}
