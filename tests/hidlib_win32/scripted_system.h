// setupapi.dll, hid.dll and kernel32 as scripted answers behind the Windows
// backend's table of system calls: HID device interfaces with attributes,
// capabilities and strings, handles and events that are counted, and
// overlapped reads whose outcome the test chooses. Every call that matters
// is logged with its arguments, in order.
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
  // Report ID of the one value capability of each kind, indexed by
  // HIDP_REPORT_TYPE (input, output, feature); 0: none of that kind.
  UCHAR reportIds[3] = {};
  const wchar_t* product = nullptr;                  // null: the device has none
  DWORD sizeQueryError = ERROR_INSUFFICIENT_BUFFER;  // 0: the size query succeeds
};

// How the next overlapped read ends.
enum class Read { kAtOnce, kRefused, kTimesOut, kUnplugged, kArrivesAtCancel };

class ScriptedSystem {
 public:
  ScriptedSystem();  // answers the calls of every table from Calls() until destroyed
  ~ScriptedSystem();
  vlmhid::win32::SystemCalls Calls() const;
  std::unique_ptr<VLMHIDInterface> NewInterface() const;
  // The log lines of these calls only, in order.
  std::vector<std::string> Lines(std::initializer_list<std::string> calls) const;

  std::vector<Device> devices;
  std::vector<std::string> log;
  std::map<HANDLE, std::string> open;  // open handles ("device #i") and events ("event")
  int openSets = 0, preparsedOut = 0;
  bool refuseEvents = false, refuseReadOpen = false, refuseTransfers = false;
  Read read = Read::kAtOnce;
  Bytes reply;                       // feature and input reports answered
  std::vector<Bytes> sent;           // feature and output reports received
  uint8_t* pendingBuffer = nullptr;  // the buffer of a read that has not finished

  // State behind the forwarders of the table.
  HANDLE NewHandle(std::string what);
  void Log(const char* format, ...);
  int DeviceOf(HANDLE handle);
  void FinishRead(DWORD error);
  DWORD lastError = 0, readError = 0;
  std::map<HANDLE, bool> signalled;
  bool cancelled = false;
};

}  // namespace win32test
