// The backend of the Windows hardware library: setupapi and hid.dll; traced
// when VLMHID_TRACE names a file.
#include "hidlib/hid_backend.h"
#include "hidlib/trace_backend.h"
#include "hidlib/win32/win32_backend.h"

namespace vlmhid {

std::unique_ptr<HidBackend> CreatePlatformBackend() {
  return TracedBackend(std::make_unique<win32::Win32Backend>(win32::SystemCallsOfThisMachine()),
                       TraceRecorderFromEnvironment());
}

}  // namespace vlmhid
