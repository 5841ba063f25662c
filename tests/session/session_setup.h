// The world an update session runs in for the tests: a temporary working
// directory, the recording window, the test system port with its virtual
// clock, a simulated bus with controllers, firmware files made by the
// generator, and a session whose connection objects live on that bus.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/device_list.h"
#include "app/session.h"
#include "sim/bus.h"
#include "tests/session/working_directory.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"
#include "tools/fwgen/firmware_generator.h"
#include "update/preparation.h"

namespace padflash::testing {

class SessionWorld {
 public:
  SessionWorld() : session(window, system, [this] { return sim::CreateBusInterface(bus); }) {}

  // The firmware file the preparation will load, written as Intel HEX.
  void WriteFirmwareFile(const fwgen::FirmwareSpec& spec, const std::string& name = "fw.hex") {
    std::ofstream(name, std::ios::binary) << fwgen::ToIntelHex(fwgen::GenerateFirmware(spec));
    session.config.firmwarePath = name;
  }

  // What the window does before Execute: the device list, then the
  // preparation flow. Returns PrepareUpdate's result (0 ready).
  int Prepare() {
    RefreshDeviceList(session);
    return PrepareUpdate(session);
  }

  // The verbose text printed from `from` (a length of the pane) on.
  std::string VerboseSince(size_t from) {
    const std::string all = window.verbose();
    return from <= all.size() ? all.substr(from) : std::string();
  }

  WorkingDirectory dir;
  RecordingWindow window;
  TestSystemPort system;
  sim::Bus bus{system.clock()};
  Session session;
};

}  // namespace padflash::testing
