// The simulator's state file: whatever parses must come out of a save
// unchanged when it is loaded and saved again.
#include <string>

#include "sim/state_file.h"
#include "tests/fuzz/fuzz_ports.h"
#include "tests/fuzz/fuzz_target.h"

PADFLASH_FUZZ_TARGET(state_file) {
  padflash::fuzz::InstantClock clock;
  sim::Bus bus(clock);
  std::string error;
  if (!sim::BusFromText(std::string(reinterpret_cast<const char*>(data), size), bus, error)) {
    FUZZ_CHECK(!error.empty());
    return 0;
  }
  const std::string saved = sim::BusToText(bus);
  sim::Bus again(clock);
  FUZZ_CHECK(sim::BusFromText(saved, again, error));
  FUZZ_CHECK(sim::BusToText(again) == saved);
  return 0;
}
