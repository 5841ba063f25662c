// Time as the engine and the simulated controller see it. Every sleep in the
// program goes through a Clock, so tests and the simulator can run a whole
// update with its one-second connect passes on a virtual clock.
#pragma once

#include <cstdint>

namespace padflash {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary start; never goes backwards.
  virtual uint64_t NowMs() = 0;
  virtual void SleepMs(uint32_t ms) = 0;
};

// The steady clock of the machine; sleeps really wait.
class RealClock final : public Clock {
 public:
  uint64_t NowMs() override;
  void SleepMs(uint32_t ms) override;
};

}  // namespace padflash
