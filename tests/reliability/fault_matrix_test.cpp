// The fault matrix as a test: every case ends recovered, on the new
// firmware, with the controller's comp table and factory values intact.
#include "tests/reliability/fault_matrix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace padflash::reliability {
namespace {

// Runs the cases of every scenario, `subset` or all of them.
void RunScenarios(bool subset) {
  size_t total = 0;
  int sound = 0;
  for (const Scenario& scenario : Scenarios()) {
    const FaultMatrix matrix(scenario);
    ASSERT_TRUE(matrix.ok()) << scenario.name << ": " << matrix.referenceProblem();
    const std::vector<FaultCase> cases = subset ? matrix.SubsetCases() : matrix.AllCases();
    total += cases.size();
    for (const FaultCase& c : cases) {
      const CaseOutcome o = matrix.Run(c);
      sound += o.Sound();
      EXPECT_TRUE(o.Sound()) << CsvHeader() << CsvLine(c, o);
    }
  }
  std::printf("%zu cases, %d recovered with the calibration intact\n", total, sound);
  EXPECT_GE(total, subset ? 200u : 1000u);
}

TEST(FaultMatrix, Subset) {
  RunScenarios(true);
}

TEST(FaultMatrix, Full) {
  const char* mode = std::getenv("PADFLASH_FAULT_MATRIX");
  if (mode == nullptr || std::string(mode) != "full") {
    GTEST_SKIP() << "the whole matrix runs with PADFLASH_FAULT_MATRIX=full";
  }
  RunScenarios(false);
}

}  // namespace
}  // namespace padflash::reliability
