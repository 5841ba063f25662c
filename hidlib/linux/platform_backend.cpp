// The backend of the Linux hardware library: hidraw nodes found through
// sysfs, driven by the kernel; traced when VLMHID_TRACE names a file.
#include "hidlib/hid_backend.h"
#include "hidlib/linux/hidraw_backend.h"
#include "hidlib/trace_backend.h"

namespace vlmhid {

std::unique_ptr<HidBackend> CreatePlatformBackend() {
  return TracedBackend(std::make_unique<hidraw::HidrawBackend>(), TraceRecorderFromEnvironment());
}

}  // namespace vlmhid
