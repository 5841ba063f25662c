// The platform's own system port with a virtual clock, scripted power
// status, recorded execution states, in-process named mutexes and captured
// standard output.
// Files and library loading stay real (tests work in temporary folders).
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "native_system_port.h"
#include "tests/support/virtual_clock.h"

namespace padflash::testing {

class TestSystemPort : public NativeSystemPort {
 public:
  TestSystemPort();
  ~TestSystemPort() override;

  Clock& clock() override { return virtualClock; }
  UtcTime NowUtc() override { return utcNow; }

  std::unique_ptr<NamedMutex> AcquireNamedMutex(const std::string& name) override;
  bool IsNamedMutexHeld(const std::string& name) override;

  bool GetPowerStatus(PowerStatus& status) override {
    if (!powerQueryWorks) return false;
    status = power;
    return true;
  }
  bool SetExecutionState(uint32_t flags) override {
    std::lock_guard<std::mutex> lock(mutex_);
    executionStates.push_back(flags);
    return refusedExecutionState == 0 || (flags & refusedExecutionState) == 0;
  }
  void WriteStdout(std::string_view text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    stdoutText.append(text);
  }

  std::string DeviceAccessNotice(const std::vector<uint16_t>&) override {
    return deviceAccessNotice;
  }
  // A per-user state folder of this port's own (a fresh temporary folder,
  // removed with the port), so no test meets the user's real one.
  std::string UserStateFolder() override { return stateFolder; }

  VirtualClock virtualClock;
  std::string stateFolder;
  std::string deviceAccessNotice;  // what the platform would say about hidden devices
  UtcTime utcNow{2015, 8, 11, 10, 10, 10};
  bool powerQueryWorks = true;
  PowerStatus power{1, 1, -1};  // on AC, battery high
  // A request holding any of these flags is refused.
  uint32_t refusedExecutionState = 0;
  std::vector<uint32_t> executionStates;
  std::string stdoutText;

 private:
  friend class InProcessMutex;
  std::mutex mutex_;
  std::set<std::string> heldMutexes_;
};

}  // namespace padflash::testing
