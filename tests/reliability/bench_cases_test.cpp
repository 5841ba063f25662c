// The bench cases as a test: every controller keeps its own calibration,
// or a run stops before writing anything and says why.
#include "tests/reliability/bench_cases.h"

#include <gtest/gtest.h>

namespace padflash::reliability {
namespace {

TEST(BenchCases, EveryControllerKeepsItsOwnCalibration) {
  int sound = 0;
  const std::vector<BenchCase> cases = BenchCases();
  for (const BenchCase& c : cases) {
    const BenchOutcome o = RunBenchCase(c);
    sound += o.Sound();
    EXPECT_TRUE(o.Sound()) << BenchCaseName(c) << ": runs " << o.runs << ", own comp tables "
                           << o.ownCompTables << ", refused runs wrote nothing "
                           << o.refusedRunsWroteNothing << ", refusals explained "
                           << o.refusalsExplained;
  }
  std::printf("%d of %zu bench cases hold\n", sound, cases.size());
}

}  // namespace
}  // namespace padflash::reliability
