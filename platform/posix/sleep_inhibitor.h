// Keeping a Linux machine awake during an update: a systemd-logind
// "sleep:idle" inhibitor lock, taken over the D-Bus system bus with sd-bus.
// logind answers the Inhibit call with a file descriptor; the lock holds as
// long as that descriptor is open. Where there is no system bus or no
// logind the request fails.
#pragma once

#include <cstdint>

namespace padflash {

// The process-wide execution state, in the Win32 ES_* flags: any of system
// required, display required or away mode takes the inhibitor (true when it
// is held); continuous alone releases it (always true).
bool SetInhibitorExecutionState(uint32_t flags);

// Whether the process holds the inhibitor now.
bool InhibitorHeld();

}  // namespace padflash
