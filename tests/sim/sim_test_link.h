// Test helpers: moves 531-byte command buffers to and from a simulated
// controller through the bus backend, as the host's library does (report ID
// in front).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "sim/bus.h"
#include "sim/bus_backend.h"
#include "tests/support/virtual_clock.h"
#include "update/bootloader_protocol.h"

namespace simtest {

using Buffer = std::vector<uint8_t>;  // 531 bytes

// A command buffer that starts with `head`, zeros after it.
inline Buffer Command(std::initializer_list<uint8_t> head) {
  Buffer b(padflash::kReportSize, 0);
  size_t i = 0;
  for (uint8_t v : head) b[i++] = v;
  return b;
}

inline void PutU16(Buffer& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(Buffer& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}
inline uint16_t U16(const Buffer& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}
inline uint32_t U32(const Buffer& b, size_t at) {
  return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// One open interface of one controller.
class Link {
 public:
  Link(sim::Bus& bus, const std::wstring& path, uint8_t reportId)
      : backend_(bus), reportId_(reportId) {
    handle_ = backend_.Open(path, vlmhid::OpenAccess::kNone);
  }
  bool open() const { return handle_ != nullptr; }
  vlmhid::HidHandle& handle() { return *handle_; }

  bool Write(const Buffer& command) {
    Buffer report(1, reportId_);
    report.insert(report.end(), command.begin(), command.end());
    return handle_ && handle_->SetFeature(report.data(), report.size());
  }
  // The 531-byte buffer after the report ID; empty on failure.
  Buffer Read() {
    Buffer report(padflash::kReportSize + 1, 0);
    report[0] = reportId_;
    if (!handle_ || !handle_->GetFeature(report.data(), report.size())) return {};
    return Buffer(report.begin() + 1, report.end());
  }

 private:
  sim::BusBackend backend_;
  uint8_t reportId_;
  std::unique_ptr<vlmhid::HidHandle> handle_;
};

inline std::wstring FirmwarePath(const std::string& serial) {
  return L"/sim/" + std::wstring(serial.begin(), serial.end()) + L"&col01";
}
inline std::wstring BootloaderPath(const std::string& serial) {
  return L"/sim/" + std::wstring(serial.begin(), serial.end());
}

}  // namespace simtest
