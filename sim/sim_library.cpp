// The backend of the simulated VLMHID library (libVLMHID.so, VLMHID.dll):
// the bus backend over one process-wide bus on the wall clock.
//
// VLMHID_SIM_STATE names the state file the bus lives in: every walk, open
// and report first takes the file lock and reloads the bus if another
// process saved since, and saves it when anything changed, so vlmsim, the
// dialog and the console front end see the same controllers. Without it the
// bus lives in this process only and starts empty.
//
// VLMHID_SIM_TRACE names a file that receives every feature report as one
// line, "<ms> <SET|GET|SET-FAIL|GET-FAIL> <serial> <hex>" and "\n" on every
// platform, appended with a single write so several processes can share it.
//
// VLMHID_SIM_REPLAY names a report trace (hidlib/report_trace.h): instead of
// the bus, the library then plays the controller recorded there
// (sim/trace_player.h) and says on standard error where the host diverged
// from the recording.
//
// VLMHID_TRACE names a file that receives the library's report trace, as the
// hardware library writes it.
//
// A controller's host-death rule ends this process right after the report
// it names, with the state file saved as that report left it and nothing
// else done (no destructors, no buffered output written): exit status 137,
// as a shell shows a process killed with SIGKILL.
//
// They are read when the first backend is made.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "hidlib/hid_backend.h"
#include "hidlib/trace_backend.h"
#include "sim/bus_backend.h"
#include "sim/replay_source.h"
#include "sim/shared_files.h"
#include "sim/state_file.h"

namespace {

class SimulatedBus {
 public:
  SimulatedBus() {
    bus_.SetHostDeathHook([this] { hostDeath_ = true; });
    bus_.SetTraceRecording(false);  // lines go to the file only, memory stays flat
    const char* trace = std::getenv("VLMHID_SIM_TRACE");
    if (trace != nullptr && *trace != '\0') {
      std::string error;
      if (!trace_.Open(trace, error)) {
        std::fprintf(stderr, "libVLMHID (simulated): trace file: %s\n", error.c_str());
      } else {
        bus_.SetTraceSink([this](const std::string& line) { trace_.Append(line + "\n"); });
      }
    }
    const char* state = std::getenv("VLMHID_SIM_STATE");
    if (state != nullptr && *state != '\0') {
      persistent_ = std::make_unique<sim::PersistentBus>(bus_, state);
    }
  }

  sim::Bus& bus() { return bus_; }

  // Ends the process as a kill would, once the report that fired the rule
  // has been saved (call with no Access held).
  void EndIfHostDeathDue() {
    if (hostDeath_) std::_Exit(kHostDeathExitStatus);
  }
  static constexpr int kHostDeathExitStatus = 137;

  // Holds the bus (and, with a state file, the file) for one access.
  class Access {
   public:
    explicit Access(SimulatedBus& owner) : owner_(owner) {
      if (owner_.persistent_) {
        transaction_.emplace(*owner_.persistent_);
        if (!transaction_->ok()) owner_.Complain(transaction_->error());
      } else {
        lock_ = std::unique_lock<std::recursive_mutex>(owner_.bus_.mutex());
      }
    }
    ~Access() {
      if (transaction_ && !transaction_->Commit()) {
        owner_.Complain(owner_.persistent_->saveError());
      }
    }

   private:
    SimulatedBus& owner_;
    std::optional<sim::PersistentBus::Transaction> transaction_;
    std::unique_lock<std::recursive_mutex> lock_;
  };

 private:
  // Says what went wrong with the state file, once per distinct problem.
  void Complain(const std::string& problem) {
    if (problem.empty() || problem == lastComplaint_) return;
    lastComplaint_ = problem;
    std::fprintf(stderr, "libVLMHID (simulated): %s\n", problem.c_str());
  }

  sim::WallClock clock_;
  sim::Bus bus_{clock_};
  std::unique_ptr<sim::PersistentBus> persistent_;
  sim::AppendFile trace_;
  std::string lastComplaint_;
  bool hostDeath_ = false;
};

// Lives until the process ends: connection objects may outlive static
// destruction order.
SimulatedBus& Shared() {
  static SimulatedBus* instance = new SimulatedBus;
  return *instance;
}

class StateHandle final : public vlmhid::HidHandle {
 public:
  explicit StateHandle(std::unique_ptr<vlmhid::HidHandle> inner) : inner_(std::move(inner)) {}

  bool GetAttributes(vlmhid::HidAttributes& a) override {
    return Run([&] { return inner_->GetAttributes(a); });
  }
  bool GetCaps(vlmhid::HidCaps& caps) override {
    return Run([&] { return inner_->GetCaps(caps); });
  }
  bool GetProductString(wchar_t* buffer, size_t bytes) override {
    return Run([&] { return inner_->GetProductString(buffer, bytes); });
  }
  bool GetSerialNumberString(wchar_t* buffer, size_t bytes) override {
    return Run([&] { return inner_->GetSerialNumberString(buffer, bytes); });
  }
  bool GetFeature(uint8_t* report, size_t length) override {
    return Run([&] { return inner_->GetFeature(report, length); });
  }
  bool SetFeature(const uint8_t* report, size_t length) override {
    return Run([&] { return inner_->SetFeature(report, length); });
  }
  bool GetInputReport(uint8_t* report, size_t length) override {
    return Run([&] { return inner_->GetInputReport(report, length); });
  }
  bool SetOutputReport(const uint8_t* report, size_t length) override {
    return Run([&] { return inner_->SetOutputReport(report, length); });
  }
  // Waits on the clock: never with the bus or the file held.
  bool ReadInput(uint8_t* report, size_t length, int timeoutMs) override {
    return inner_->ReadInput(report, length, timeoutMs);
  }
  bool WriteOutput(const uint8_t* report, size_t length) override {
    return Run([&] { return inner_->WriteOutput(report, length); });
  }

 private:
  template <typename F>
  bool Run(F&& step) {
    bool ok = false;
    {
      SimulatedBus::Access access(Shared());
      ok = step();
    }
    Shared().EndIfHostDeathDue();
    return ok;
  }

  std::unique_ptr<vlmhid::HidHandle> inner_;
};

class StateBackend final : public vlmhid::HidBackend {
 public:
  StateBackend() : inner_(Shared().bus()) {}

  std::vector<std::wstring> ListInterfaces() override {
    SimulatedBus::Access access(Shared());
    return inner_.ListInterfaces();
  }

  std::unique_ptr<vlmhid::HidHandle> Open(const std::wstring& path,
                                          vlmhid::OpenAccess access) override {
    SimulatedBus::Access hold(Shared());
    std::unique_ptr<vlmhid::HidHandle> handle = inner_.Open(path, access);
    if (!handle) return nullptr;
    return std::make_unique<StateHandle>(std::move(handle));
  }

  void SleepMs(uint32_t ms) override { inner_.SleepMs(ms); }

 private:
  sim::BusBackend inner_;
};

}  // namespace

namespace vlmhid {

std::unique_ptr<HidBackend> CreatePlatformBackend() {
  std::unique_ptr<HidBackend> backend = sim::ReplayBackendFromEnvironment();
  if (!backend) backend = std::make_unique<StateBackend>();
  return TracedBackend(std::move(backend), TraceRecorderFromEnvironment());
}

}  // namespace vlmhid
