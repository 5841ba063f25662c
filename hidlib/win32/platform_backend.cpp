// The backend of the Windows hardware library: setupapi and hid.dll.
#include "hidlib/hid_backend.h"
#include "hidlib/win32/win32_backend.h"

namespace vlmhid {

std::unique_ptr<HidBackend> CreatePlatformBackend() {
  return std::make_unique<win32::Win32Backend>(win32::SystemCallsOfThisMachine());
}

}  // namespace vlmhid
