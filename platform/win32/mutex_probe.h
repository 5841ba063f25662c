// Whether someone holds a named mutex, told without waiting. The kernel32
// calls it makes come from a table, so that the rights it asks for can be
// checked where Windows checks them.
#pragma once

#include <windows.h>

#include <string>

namespace padflash {

struct MutexCalls {
  decltype(&::OpenMutexA) OpenMutexA;
  decltype(&::WaitForSingleObject) WaitForSingleObject;
  decltype(&::ReleaseMutex) ReleaseMutex;
  decltype(&::CloseHandle) CloseHandle;
};

// kernel32's own.
MutexCalls SystemMutexCalls();

// A wait of no time on a fresh thread, which owns nothing: a mutex taken by
// that wait is given back at once. The mutex is opened with the right to
// wait on it and the right to release it (ReleaseMutex needs
// MUTEX_MODIFY_STATE; without it the thread would end owning the mutex).
bool ProbeNamedMutexHeld(const MutexCalls& calls, const std::string& name);

}  // namespace padflash
