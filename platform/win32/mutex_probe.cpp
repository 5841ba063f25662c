#include "platform/win32/mutex_probe.h"

#include <thread>

namespace padflash {

MutexCalls SystemMutexCalls() {
  return MutexCalls{&::OpenMutexA, &::WaitForSingleObject, &::ReleaseMutex, &::CloseHandle};
}

bool ProbeNamedMutexHeld(const MutexCalls& calls, const std::string& name) {
  bool held = false;
  std::thread([&] {
    HANDLE handle = calls.OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, name.c_str());
    if (handle == nullptr) return;
    const DWORD wait = calls.WaitForSingleObject(handle, 0);
    // WAIT_ABANDONED: its owner ended without releasing it; now it is ours.
    if (wait == WAIT_OBJECT_0 || wait == WAIT_ABANDONED) calls.ReleaseMutex(handle);
    calls.CloseHandle(handle);
    held = wait == WAIT_TIMEOUT;
  }).join();
  return held;
}

}  // namespace padflash
