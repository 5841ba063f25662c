// Keeping a Linux machine up and awake during an update: a systemd-logind
// "shutdown:sleep:idle" block inhibitor lock, taken over the D-Bus system bus
// with sd-bus. A block lock on shutdown makes logind refuse a poweroff or
// reboot asked for by an unprivileged user (a desktop shows the reason and
// may offer to go on regardless); root can still override it.
// logind answers the Inhibit call with a file descriptor; the lock holds as
// long as that descriptor is open. Where there is no system bus or no
// logind the request fails.
#pragma once

#include <cstdint>

namespace padflash {

// The arguments of logind's Inhibit call: what is held off, who holds it,
// the reason a desktop shows, and the mode.
struct InhibitorRequest {
  const char* what;
  const char* who;
  const char* why;
  const char* mode;
};
InhibitorRequest UpdateInhibitorRequest();

// The process-wide execution state, in the Win32 ES_* flags: any of system
// required, display required or away mode takes the inhibitor (true when it
// is held); continuous alone releases it (always true).
bool SetInhibitorExecutionState(uint32_t flags);

// Whether the process holds the inhibitor now.
bool InhibitorHeld();

}  // namespace padflash
