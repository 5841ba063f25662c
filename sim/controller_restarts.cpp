// Restarts and power faults: away for the restart delay (or for ever),
// back in the mode the image allows.
#include "sim/controller_model.h"

#include <algorithm>
#include <cstring>

#include "sim/controller_internals.h"
#include "update/fletcher.h"

namespace sim {

using namespace model;

// ---- restarts --------------------------------------------------------------

void Controller::StartRestart(Mode mode, bool forever) {
  ControllerState& s = state_;
  const uint32_t delay = s.faults.returnDelayMs ? s.faults.returnDelayMs : s.config.restartDelayMs;
  s.restart.active = true;
  s.restart.forever = forever;
  s.restart.untilMs = clock_.NowMs() + delay;
  s.restart.mode = mode;
  s.pendingReply.clear();
  ++s.generation;  // it drops off the bus: open handles die
}

// Power fails in the middle of programming: the chunk is lost, the image is
// not valid, the factory page is erased, RAM is gone; it comes back as the
// bootloader.
void Controller::PowerLoss() {
  ControllerState& s = state_;
  std::fill(s.flash.begin() + kPageIndex, s.flash.end(), 0xFF);
  std::fill(s.ram.begin(), s.ram.end(), 0);
  s.imageValid = false;
  StartRestart(Mode::kBootloader, false);
}

// Power fails between two reports: RAM is gone and the controller comes back
// after its restart delay, as the firmware when its image is valid, else as
// the bootloader; flash keeps what it holds.
void Controller::PowerFailure() {
  std::fill(state_.ram.begin(), state_.ram.end(), 0);
  StartRestart(state_.imageValid ? Mode::kFirmware : Mode::kBootloader, false);
}

bool Controller::Poll() {
  PendingRestart& restart = state_.restart;
  if (!restart.active || restart.forever || clock_.NowMs() < restart.untilMs) return false;
  restart.active = false;
  ++state_.counters.restarts;
  Boot(state_, restart.mode);
  return true;
}

void Controller::PowerCycle() {
  state_.restart = PendingRestart{};
  std::fill(state_.ram.begin(), state_.ram.end(), 0);
  ++state_.generation;
  ++state_.counters.restarts;
  Boot(state_, state_.imageValid ? Mode::kFirmware : Mode::kBootloader);
}

}  // namespace sim
