// Recording the report trace (report_trace.h) of a library: a backend that
// wraps another and hands every feature report that crosses it, in both
// directions and with its result, to a recorder.
//
// When VLMHID_TRACE names a file, the library appends its trace there (one
// write per line, so several processes may share the file); a file that
// cannot be opened is reported once on standard error and nothing is traced.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "hidlib/hid_backend.h"
#include "hidlib/report_trace.h"

namespace vlmhid {

class TraceRecorder {
 public:
  using Writer = std::function<void(const std::string& line)>;
  using Clock = std::function<uint64_t()>;
  TraceRecorder(Writer writer, Clock clock);

  // Writes the exchange line, preceded by a DEVICE line when the device or
  // what it presents differs from the last one written.
  void Record(const std::string& device, const trace::DeviceIdentity& identity, trace::Kind kind,
              const uint8_t* report, size_t length);

 private:
  std::mutex mutex_;
  Writer writer_;
  Clock clock_;
  bool haveLast_ = false;
  std::string lastDevice_;
  trace::DeviceIdentity lastIdentity_;
};

// `inner` unchanged when `recorder` is null.
std::unique_ptr<HidBackend> TracedBackend(std::unique_ptr<HidBackend> inner,
                                          std::shared_ptr<TraceRecorder> recorder);

// The process's recorder for VLMHID_TRACE; null when it is not set or the
// file cannot be opened. Times are wall-clock milliseconds.
std::shared_ptr<TraceRecorder> TraceRecorderFromEnvironment();

}  // namespace vlmhid
