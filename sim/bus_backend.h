// The VLMHID backend over the simulated bus: the same walk, open, attribute,
// capability, string and report steps as the hidraw and Windows backends,
// answered by the bus. The VLMHID algorithms (VLMHIDInterface) run on it
// unchanged.
#pragma once

#include <memory>

#include "hidlib/hid_backend.h"
#include "sim/bus.h"

namespace sim {

class BusBackend final : public vlmhid::HidBackend {
 public:
  explicit BusBackend(Bus& bus) : bus_(bus) {}

  std::vector<std::wstring> ListInterfaces() override;
  // Any access opens a present interface; a handle stops working once its
  // controller restarts (drops off the bus) or is detached.
  std::unique_ptr<vlmhid::HidHandle> Open(const std::wstring& path,
                                          vlmhid::OpenAccess access) override;
  // Sleeps on the bus clock.
  void SleepMs(uint32_t ms) override;

 private:
  Bus& bus_;
};

}  // namespace sim
