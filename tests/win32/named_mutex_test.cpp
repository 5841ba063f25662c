// Named mutexes of the Windows system port, in this process and held by
// another one (mutex_holder).
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "platform/win32/win32_system_port.h"

namespace padflash {
namespace {

std::string UniqueName(const char* what) {
  static std::atomic<int> counter{0};
  return std::string("padflash-test-") + what + "-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(counter++);
}

// mutex_holder running with the mutex taken.
class Holder {
 public:
  explicit Holder(const std::string& mutexName)
      : readyName_(UniqueName("ready")), releaseName_(UniqueName("release")) {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, readyName_.c_str());
    release_ = CreateEventA(nullptr, TRUE, FALSE, releaseName_.c_str());
    std::string command = std::string("\"") + MUTEX_HOLDER_PATH + "\" " + mutexName + " " +
                          readyName_ + " " + releaseName_;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    started_ = CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process_) != FALSE;
  }
  ~Holder() {
    if (started_) {
      TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
    CloseHandle(ready_);
    CloseHandle(release_);
  }

  // True once the holder owns the mutex.
  bool WaitUntilHeld() { return started_ && WaitForSingleObject(ready_, 30000) == WAIT_OBJECT_0; }

  // Lets the holder release the mutex and end; its exit code.
  DWORD Release() {
    SetEvent(release_);
    WaitForSingleObject(process_.hProcess, 30000);
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return code;
  }

  // Ends the holder without releasing: the mutex is abandoned.
  void Kill() {
    TerminateProcess(process_.hProcess, 1);
    WaitForSingleObject(process_.hProcess, 30000);
  }

 private:
  std::string readyName_, releaseName_;
  HANDLE ready_ = nullptr;
  HANDLE release_ = nullptr;
  PROCESS_INFORMATION process_{};
  bool started_ = false;
};

TEST(NamedMutex, ASecondAcquireInTheSameProcessIsRefusedUntilTheFirstIsReleased) {
  Win32SystemPort port;
  const std::string name = UniqueName("same");
  EXPECT_FALSE(port.IsNamedMutexHeld(name));
  std::unique_ptr<NamedMutex> first = port.AcquireNamedMutex(name);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(port.AcquireNamedMutex(name), nullptr);
  EXPECT_EQ(port.LastError(), 183);
  // Held, seen from the owning thread and from another one.
  EXPECT_TRUE(port.IsNamedMutexHeld(name));
  bool heldElsewhere = false;
  std::thread([&] { heldElsewhere = port.IsNamedMutexHeld(name); }).join();
  EXPECT_TRUE(heldElsewhere);

  first.reset();
  EXPECT_FALSE(port.IsNamedMutexHeld(name));
  EXPECT_NE(port.AcquireNamedMutex(name), nullptr);
}

TEST(NamedMutex, AnotherProcessHoldsTheMutexUntilItReleasesIt) {
  Win32SystemPort port;
  const std::string name = UniqueName("process");
  Holder holder(name);
  ASSERT_TRUE(holder.WaitUntilHeld());
  EXPECT_TRUE(port.IsNamedMutexHeld(name));
  EXPECT_EQ(port.AcquireNamedMutex(name), nullptr);
  // Testing did not take it from the holder.
  EXPECT_TRUE(port.IsNamedMutexHeld(name));

  EXPECT_EQ(holder.Release(), 0u);
  EXPECT_FALSE(port.IsNamedMutexHeld(name));
  EXPECT_NE(port.AcquireNamedMutex(name), nullptr);
}

TEST(NamedMutex, TheMutexOfAProcessThatDiedIsNotHeld) {
  Win32SystemPort port;
  const std::string name = UniqueName("abandoned");
  Holder holder(name);
  ASSERT_TRUE(holder.WaitUntilHeld());
  // A handle of ours keeps the abandoned mutex in existence.
  HANDLE kept = OpenMutexA(SYNCHRONIZE, FALSE, name.c_str());
  ASSERT_NE(kept, nullptr);
  holder.Kill();
  EXPECT_FALSE(port.IsNamedMutexHeld(name));
  CloseHandle(kept);
  EXPECT_NE(port.AcquireNamedMutex(name), nullptr);
}

}  // namespace
}  // namespace padflash
