// A session wired to a simulated bus on the virtual clock, with helpers to
// read back what reached the controllers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "session/session.h"
#include "sim/bus.h"
#include "tests/support/recording_window.h"
#include "tests/support/test_system_port.h"

namespace padflash::testing {

struct BusWorld {
  RecordingWindow window;
  TestSystemPort system;
  sim::Bus bus{system.virtualClock};
  Session session{window, system, [this] { return sim::CreateBusInterface(bus); }};

  // Gives the session a connection object connected in feature mode.
  bool Connect(uint16_t vendorId, uint16_t productId, uint8_t reportId = 7) {
    session.connection.reset(session.createInterface());
    return session.connection->ConnectToDevice(vendorId, productId, reportId, 0) == 0;
  }

  // The reports of one kind ("SET", "GET", ...) as bytes, report ID first.
  std::vector<std::vector<uint8_t>> Reports(const std::string& kind) {
    std::vector<std::vector<uint8_t>> reports;
    for (const std::string& line : bus.TraceLines()) {
      std::istringstream fields(line);
      std::string ms, what, serial, hex;
      fields >> ms >> what >> serial >> hex;
      if (what != kind) continue;
      std::vector<uint8_t> bytes;
      for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
      reports.push_back(bytes);
    }
    return reports;
  }

  std::vector<uint32_t> Sleeps() { return system.virtualClock.sleeps(); }
};

// Occurrences of `needle` in `text`.
inline int CountOf(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

}  // namespace padflash::testing
