// Stop requests on Linux: SIGINT, SIGTERM and SIGHUP are caught (SA_RESTART;
// the reads and sleeps that a signal still interrupts are repeated where they
// are made) and only noted while the session runs. The handler does nothing
// but async-signal-safe work: it stores the signal and writes the line.
#include "app/console/stop_requests.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>

namespace padflash {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
volatile sig_atomic_t deferredSignal = 0;
struct sigaction previous[3];

constexpr char kCannotStop[] =
    "padflash-cli: the firmware update cannot be stopped now; padflash-cli ends when it is done\n";

void OnStopSignal(int signal) {
  if (deferredSignal == 0) deferredSignal = signal;
  // Nothing to do when standard error is gone (a hung-up terminal).
  if (write(STDERR_FILENO, kCannotStop, sizeof kCannotStop - 1) < 0) return;
}

}  // namespace

StopRequestsDeferred::StopRequestsDeferred() {
  deferredSignal = 0;
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int signal : kStopSignals) sigaddset(&action.sa_mask, signal);
  for (size_t i = 0; i < 3; ++i) sigaction(kStopSignals[i], &action, &previous[i]);
}

StopRequestsDeferred::~StopRequestsDeferred() {
  for (size_t i = 0; i < 3; ++i) sigaction(kStopSignals[i], &previous[i], nullptr);
}

const char* StopRequestsDeferred::Deferred() const {
  switch (deferredSignal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return nullptr;
  }
}

}  // namespace padflash
