// The world an update session runs in for the tests: a temporary working
// directory, the recording window, the test system port with its virtual
// clock, a simulated bus with controllers, firmware files made by the
// generator, and a session whose connection objects live on that bus.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <fstream>
#include <memory>
#include <string>

#include "session/session.h"
#include "sim/bus.h"
#include "tests/session/working_directory.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/device_list_refresh.h"
#include "update/preparation.h"

namespace padflash::testing {

// The test system port whose power status can change from one query to the
// next: queued statuses are answered first, then `power`.
class ScriptedPowerPort : public TestSystemPort {
 public:
  bool GetPowerStatus(PowerStatus& status) override {
    if (upcoming.empty()) return TestSystemPort::GetPowerStatus(status);
    status = upcoming.front();
    upcoming.pop_front();
    return true;
  }
  std::deque<PowerStatus> upcoming;
};

class SessionWorld {
 public:
  SessionWorld() { Restart(); }

  // A new run of the program: a fresh window and session state; the bus,
  // the files and the system stay.
  void Restart() {
    session_.reset();
    window_ = std::make_unique<RecordingWindow>();
    session_ = std::make_unique<Session>(*window_, system,
                                         [this] { return sim::CreateBusInterface(bus); });
    session_->config.firmwarePath = firmwarePath_;
  }

  RecordingWindow& window() { return *window_; }
  Session& session() { return *session_; }

  // The firmware file the preparation will load, written as Intel HEX.
  void WriteFirmwareFile(const fwgen::FirmwareBuild& build, const std::string& name = "fw.hex") {
    std::ofstream(name, std::ios::binary) << fwgen::ToIntelHex(fwgen::GenerateFirmware(build));
    firmwarePath_ = name;
    session_->config.firmwarePath = name;
  }

  // What the window does before Execute: the device list, then the
  // preparation flow. Returns PrepareUpdate's result (0 ready).
  int Prepare() {
    RefreshDeviceList(session());
    return PrepareUpdate(session());
  }

  // The verbose text printed from `from` (a length of the pane) on.
  std::string VerboseSince(size_t from) {
    const std::string all = window_->verbose();
    return from <= all.size() ? all.substr(from) : std::string();
  }

  WorkingDirectory dir;
  ScriptedPowerPort system;
  sim::Bus bus{system.clock()};

 private:
  std::string firmwarePath_;
  std::unique_ptr<RecordingWindow> window_;
  std::unique_ptr<Session> session_;
};

}  // namespace padflash::testing
