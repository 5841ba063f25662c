// The backend of the Linux hardware library: hidraw nodes found through
// sysfs, driven by the kernel.
#include "hidlib/hid_backend.h"
#include "hidlib/linux/hidraw_backend.h"

namespace vlmhid {

std::unique_ptr<HidBackend> CreatePlatformBackend() {
  return std::make_unique<hidraw::HidrawBackend>();
}

}  // namespace vlmhid
