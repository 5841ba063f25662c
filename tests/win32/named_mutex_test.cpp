// Named mutexes of the Windows system port, in this process and held by
// another one (mutex_holder).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "platform/win32/mutex_probe.h"
#include "platform/win32/win32_system_port.h"

namespace padflash {
namespace {

std::string UniqueName(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("padflash-test-") + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(counter++);
}

struct Holder {
  HANDLE ready = nullptr;
  HANDLE release = nullptr;
  PROCESS_INFORMATION process{};
};

// mutex_holder taking `mutexName`; it sets `ready` once it owns it and ends
// when `release` is set.
Holder StartHolder(const std::string& mutexName) {
  const std::string ready = UniqueName("ready"), release = UniqueName("release");
  Holder h{CreateEventA(nullptr, TRUE, FALSE, ready.c_str()),
           CreateEventA(nullptr, TRUE, FALSE, release.c_str())};
  std::string command =
      std::string("\"") + MUTEX_HOLDER_PATH + "\" " + mutexName + " " + ready + " " + release;
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                 &h.process);
  return h;
}

TEST(NamedMutex, ASecondAcquireInThisProcessIsRefusedWhileTheFirstIsHeld) {
  Win32SystemPort port;
  const std::string name = UniqueName("same");
  std::unique_ptr<NamedMutex> first = port.AcquireNamedMutex(name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(port.AcquireNamedMutex(name), nullptr);
  EXPECT_EQ(port.LastError(), 183);
  // Held, also as seen from the owning thread, where a wait would succeed.
  EXPECT_TRUE(port.IsNamedMutexHeld(name));
  first.reset();
  EXPECT_FALSE(port.IsNamedMutexHeld(name));
  EXPECT_NE(port.AcquireNamedMutex(name), nullptr);
}

TEST(NamedMutex, AnotherProcessHoldsItUntilItReleasesItOrDies) {
  Win32SystemPort port;
  for (bool dies : {false, true}) {
    const std::string name = UniqueName(dies ? "dies" : "releases");
    Holder holder = StartHolder(name);
    ASSERT_EQ(WaitForSingleObject(holder.ready, 30000), WAIT_OBJECT_0) << name;
    EXPECT_TRUE(port.IsNamedMutexHeld(name));
    EXPECT_EQ(port.AcquireNamedMutex(name), nullptr);
    EXPECT_TRUE(port.IsNamedMutexHeld(name)) << "the test took it from its holder";

    // A handle of ours keeps the mutex in existence: abandoned when its
    // holder dies.
    HANDLE kept = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
    if (dies) {
      TerminateProcess(holder.process.hProcess, 1);
    } else {
      SetEvent(holder.release);
    }
    WaitForSingleObject(holder.process.hProcess, 30000);
    EXPECT_FALSE(port.IsNamedMutexHeld(name)) << name;
    CloseHandle(kept);
    EXPECT_NE(port.AcquireNamedMutex(name), nullptr) << name;
  }
}

// One mutex as Windows keeps it: an owner, and the rights of the handle
// that was opened. ReleaseMutex needs MUTEX_MODIFY_STATE on Windows (Wine
// does not check it, so this is tested through the probe's call table).
struct ScriptedMutex {
  DWORD rights = 0;
  bool owned = false;  // by the probe's thread
  bool heldByOther = false;
};
ScriptedMutex* scripted = nullptr;
HANDLE const kScriptedHandle = reinterpret_cast<HANDLE>(0x5150);

MutexCalls ScriptedMutexCalls() {
  MutexCalls calls{};
  calls.OpenMutexA = [](DWORD rights, BOOL, LPCSTR) {
    scripted->rights = rights;
    return kScriptedHandle;
  };
  calls.WaitForSingleObject = [](HANDLE, DWORD) -> DWORD {
    if (scripted->heldByOther) return WAIT_TIMEOUT;
    scripted->owned = true;
    return WAIT_OBJECT_0;
  };
  calls.ReleaseMutex = [](HANDLE) -> BOOL {
    if ((scripted->rights & MUTEX_MODIFY_STATE) == 0) return FALSE;
    scripted->owned = false;
    return TRUE;
  };
  calls.CloseHandle = [](HANDLE) -> BOOL { return TRUE; };
  return calls;
}

TEST(NamedMutex, TheProbeGivesBackAFreeMutexItTookAndLeavesAHeldOneAlone) {
  ScriptedMutex mutex;
  scripted = &mutex;
  EXPECT_FALSE(ProbeNamedMutexHeld(ScriptedMutexCalls(), "FennickFWTool_Thread"));
  EXPECT_FALSE(mutex.owned) << "the probe's thread ended owning the mutex";
  mutex.heldByOther = true;
  EXPECT_TRUE(ProbeNamedMutexHeld(ScriptedMutexCalls(), "FennickFWTool_Thread"));
  EXPECT_FALSE(mutex.owned);
  scripted = nullptr;
}

}  // namespace
}  // namespace padflash
