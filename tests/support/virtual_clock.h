// A clock whose sleeps advance time at once, so a full update with its
// one-second connect passes runs in milliseconds while its timing stays
// checkable.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace padflash::testing {

class VirtualClock final : public Clock {
 public:
  uint64_t NowMs() override { return now_.load(); }
  void SleepMs(uint32_t ms) override {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.push_back(ms);
    now_ += ms;
  }
  void Advance(uint64_t ms) { now_ += ms; }

  // Every sleep taken so far, in order.
  std::vector<uint32_t> sleeps() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }
  void ClearSleeps() {
    std::lock_guard<std::mutex> lock(mutex_);
    sleeps_.clear();
  }

 private:
  std::atomic<uint64_t> now_{1000000};
  mutable std::mutex mutex_;
  std::vector<uint32_t> sleeps_;
};

}  // namespace padflash::testing
