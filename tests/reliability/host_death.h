// A host that dies in the middle of its work, in process: the program run
// goes on in a child process (fork) whose bus ends it, as a kill would, at
// the report where a controller's host-death rule fires. Nothing of the
// program runs after that report (no destructors, no files closed, no
// buffered output written); what the controllers were at that moment and
// the virtual clock come back to this process, which goes on as the next
// host would, with the files on disk as the dead one left them.
#pragma once

#include <functional>
#include <string>

#include "sim/bus.h"
#include "tests/support/virtual_clock.h"

namespace padflash::reliability {

struct HostRun {
  bool ran = false;     // the child ran and handed the controllers back
  bool killed = false;  // the host-death rule ended it, else `run` returned
  std::string problem;  // why it did not run, when it did not
};

// Runs `run` as a host that may die; afterwards every controller on `bus`
// and `clock` are as the child left them. Call with no other thread in this
// process running (the child has only the calling one).
HostRun RunHostThatMayDie(sim::Bus& bus, testing::VirtualClock& clock,
                          const std::function<void()>& run);

}  // namespace padflash::reliability
