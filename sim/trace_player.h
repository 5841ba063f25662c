// Plays a controller from a recorded report trace (hidlib/report_trace.h):
// each GET_FEATURE is answered with the recorded reply, each SET_FEATURE must
// equal the recorded one, strictly in the recorded order, and a recorded
// failure fails again. The device presents itself as the DEVICE line before
// the next exchange says, so re-enumeration follows the trace: once the last
// exchange before a new DEVICE line is played, the old device is gone
// (transfers on its handles fail) and the new one is there.
//
// At the first divergence (another command, another report ID or length, a
// transfer after the trace has ended) the player stops: that transfer and
// every later one fail, and divergence() says which exchange, what was
// expected and what was received.
//
// Thread safety: every member takes the player's mutex (the divergence
// handler runs with it held).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "hidlib/report_trace.h"

namespace sim {

class TracePlayer {
 public:
  // Reads a whole trace; false with a reason (and nothing loaded) when a
  // line does not parse or an exchange comes before any DEVICE line.
  [[nodiscard]] bool Load(const std::string& text, std::string& error);

  struct Presence {
    size_t segment = 0;  // which DEVICE line
    std::string device;
    vlmhid::trace::DeviceIdentity identity;
  };
  // What is attached now; none for an empty trace.
  std::optional<Presence> Present() const;
  // Whether a handle opened while `segment` was present still reaches it.
  bool Alive(size_t segment) const;

  // Transfers through a handle opened in `segment`. `report` is the whole
  // report, report ID first.
  bool Set(size_t segment, const uint8_t* report, size_t length);
  bool Get(size_t segment, uint8_t* report, size_t length);

  // Called once, at the divergence.
  void SetDivergenceHandler(std::function<void(const std::string&)> handler);
  bool diverged() const;
  std::string divergence() const;
  size_t played() const;
  size_t exchanges() const;

 private:
  struct Exchange {
    vlmhid::trace::Kind kind;
    std::vector<uint8_t> report;
    size_t segment;
    size_t lineNumber;
  };
  struct Segment {
    std::string device;
    vlmhid::trace::DeviceIdentity identity;
  };
  size_t CurrentSegment() const;
  bool AliveLocked(size_t segment) const;
  // The next exchange when it is of this direction and the handle's
  // device; else records the divergence and returns null.
  const Exchange* Expect(bool set, size_t segment, const uint8_t* report, size_t length);
  void Diverge(const std::string& expected, const std::string& received);

  mutable std::mutex mutex_;
  std::vector<Segment> segments_;
  std::vector<Exchange> exchanges_;
  size_t next_ = 0;
  std::string divergence_;
  std::function<void(const std::string&)> onDivergence_;
};

}  // namespace sim
