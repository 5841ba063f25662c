// The VLMHID backend over a trace player: one device, present as the trace
// says, at "/replay/<device><collection>" (the collection part only for a
// device recorded on a collection interface), with a feature value
// capability under the recorded report ID and the recorded product string.
#pragma once

#include <memory>

#include "hidlib/hid_backend.h"
#include "platform/clock.h"
#include "sim/trace_player.h"

namespace sim {

class ReplayBackend final : public vlmhid::HidBackend {
 public:
  ReplayBackend(std::shared_ptr<TracePlayer> player, padflash::Clock& clock)
      : player_(std::move(player)), clock_(clock) {}

  std::vector<std::wstring> ListInterfaces() override;
  std::unique_ptr<vlmhid::HidHandle> Open(const std::wstring& path,
                                          vlmhid::OpenAccess access) override;
  void SleepMs(uint32_t ms) override { clock_.SleepMs(ms); }

 private:
  std::shared_ptr<TracePlayer> player_;
  padflash::Clock& clock_;
};

}  // namespace sim
