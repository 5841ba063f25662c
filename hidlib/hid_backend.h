// The platform side of VLMHID, kept small so the enumeration, connection
// and transfer algorithms are written once (vlmhid_interface.cpp) and every
// backend follows the same steps: walk the HID device interfaces, open one by
// path, read its attributes, capabilities and strings, move reports.
//
// Backends: hidlib/win32 (setupapi + hid.dll), hidlib/linux (sysfs +
// hidraw), and the simulated bus in sim/.
//
// Report buffers passed to a handle are whole reports: byte 0 is the report
// ID and `length` counts it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vlmhid {

struct HidAttributes {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t versionNumber = 0;
};

// What connect needs of an interface's capabilities: the number of value
// capabilities of each kind and the report ID of the first one of each kind
// (meaningful when its number is above 0).
struct HidCaps {
  uint16_t numberFeatureValueCaps = 0;
  uint16_t numberInputValueCaps = 0;
  uint16_t numberOutputValueCaps = 0;
  uint8_t firstFeatureReportId = 0;
  uint8_t firstInputReportId = 0;
  uint8_t firstOutputReportId = 0;
};

// How an interface is opened: kNone for attributes and feature reports,
// kRead for input reports, kWrite for output reports.
enum class OpenAccess { kNone, kRead, kWrite };

// One open device interface; closed when destroyed.
class HidHandle {
 public:
  virtual ~HidHandle() = default;
  virtual bool GetAttributes(HidAttributes& attributes) = 0;
  virtual bool GetCaps(HidCaps& caps) = 0;
  // Fill at most `bytes` bytes of `buffer` with the string; false when the
  // device has none. The string need not be terminated when it fills the
  // buffer: callers bound every copy themselves.
  virtual bool GetProductString(wchar_t* buffer, size_t bytes) = 0;
  virtual bool GetSerialNumberString(wchar_t* buffer, size_t bytes) = 0;
  virtual bool GetFeature(uint8_t* report, size_t length) = 0;
  virtual bool SetFeature(const uint8_t* report, size_t length) = 0;
  virtual bool GetInputReport(uint8_t* report, size_t length) = 0;
  virtual bool SetOutputReport(const uint8_t* report, size_t length) = 0;
  // Waits up to timeoutMs for an input report; false on time-out or failure.
  // A read that timed out is finished (cancelled) before this returns.
  virtual bool ReadInput(uint8_t* report, size_t length, int timeoutMs) = 0;
  virtual bool WriteOutput(const uint8_t* report, size_t length) = 0;
  // Clears the communication error state before output writes.
  virtual void ClearErrors() {}
};

class HidBackend {
 public:
  virtual ~HidBackend() = default;
  // Paths of the present HID device interfaces, in walk order.
  virtual std::vector<std::wstring> ListInterfaces() = 0;
  // Null when the interface cannot be opened with that access.
  virtual std::unique_ptr<HidHandle> Open(const std::wstring& path, OpenAccess access) = 0;
  // The pause between output write attempts.
  virtual void SleepMs(uint32_t ms) = 0;
};

// The backend the library was built with (one definition per build: Linux,
// Windows, or the simulated bus).
std::unique_ptr<HidBackend> CreatePlatformBackend();

}  // namespace vlmhid
