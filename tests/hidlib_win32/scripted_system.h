// setupapi.dll, hid.dll and kernel32 answering from a script behind the
// Windows backend's table of system calls: device interfaces with attributes,
// value capabilities and a product string; handles and events that are
// counted; overlapped reads that end as the test says. The calls that matter
// are logged with their arguments, in order.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hidlib/vlmhid_interface.h"
#include "hidlib/win32/system_calls.h"

namespace win32test {

using Bytes = std::vector<uint8_t>;

struct Device {
  std::wstring path;
  USHORT vendorId = 0, productId = 0, version = 0;
  UCHAR reportIds[3] = {};  // of the one value capability per HIDP_REPORT_TYPE; 0: none
  const wchar_t* product = nullptr;
  DWORD sizeQueryError = ERROR_INSUFFICIENT_BUFFER;  // 0: the size query succeeds
};

// How the next overlapped read ends.
// kTimesOut: ends, aborted, when the wait after CancelIo runs;
// kNeverEnds: the driver ignores the cancellation.
enum class Read { kAtOnce, kRefused, kTimesOut, kUnplugged, kArrivesAtCancel, kNeverEnds };

// Answers the calls of every table from Calls() while it lives.
struct ScriptedSystem {
  ScriptedSystem();
  ~ScriptedSystem();
  vlmhid::win32::SystemCalls Calls() const;
  std::unique_ptr<VLMHIDInterface> NewInterface() const;
  // The log lines of these calls, in order.
  std::vector<std::string> Lines(std::initializer_list<std::string> calls) const;
  void Log(const char* format, ...);
  HANDLE NewHandle(std::string what);
  int DeviceOf(HANDLE handle) const;

  std::vector<Device> devices;
  std::vector<std::string> log;
  std::map<HANDLE, std::string> open;  // "device #i", "read #i", "write #i", "event"
  std::map<HANDLE, bool> signalled;
  int openSets = 0, preparsedOut = 0;
  bool refuseEvents = false, refuseReadOpen = false, refuseTransfers = false;
  Read read = Read::kAtOnce;
  Bytes reply;                       // feature and input reports answered
  std::vector<Bytes> sent;           // feature and output reports received
  uint8_t* pendingBuffer = nullptr;  // the buffer of a read not yet finished
  bool cancelled = false;
  bool outOfMemory = false;  // the interface walk's next allocation throws
  DWORD lastError = 0, readError = 0;
};

}  // namespace win32test
