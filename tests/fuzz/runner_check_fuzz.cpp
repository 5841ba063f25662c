// A target that fails its check on the input "crash" (its seed corpus holds
// it): tools/run-fuzzers.sh must end with a failure and leave the input as
// an artifact. Built only by the fuzz preset; fuzz_runner_fails_on_crash runs
// it through the runner.
#include "tests/fuzz/fuzz_target.h"

PADFLASH_FUZZ_TARGET(runner_check) {
  padflash::fuzz::Input in(data, size);
  FUZZ_CHECK(in.Rest() != "crash");
  return 0;
}
