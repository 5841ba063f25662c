// Runs the whole fault matrix and the bench cases and writes their tables:
//   fault_matrix_report <docs folder>
// writes <docs>/fault_matrix.csv and replaces the parts of
// <docs>/reliability.md between the fault-matrix and the bench markers.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/reliability/bench_cases.h"
#include "tests/reliability/fault_matrix.h"

using namespace padflash::reliability;

namespace {

constexpr const char* kBegin = "<!-- fault-matrix:begin -->\n";
constexpr const char* kEnd = "<!-- fault-matrix:end -->";
constexpr const char* kBenchBegin = "<!-- bench:begin -->\n";
constexpr const char* kBenchEnd = "<!-- bench:end -->";

// Replaces what stands between the two markers; false when they are missing.
bool ReplaceSection(std::string& doc, const std::string& begin, const std::string& end,
                    const std::string& section) {
  const size_t from = doc.find(begin);
  const size_t to = doc.find(end);
  if (from == std::string::npos || to == std::string::npos || to < from) return false;
  doc.replace(from + begin.size(), to - from - begin.size(), section);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fault_matrix_report <docs folder>\n");
    return 2;
  }
  const std::string docs = argv[1];
  const auto start = std::chrono::steady_clock::now();
  std::vector<FaultCase> cases;
  std::vector<CaseOutcome> outcomes;
  std::string csv = CsvHeader();
  std::string references;
  for (const Scenario& scenario : Scenarios()) {
    const FaultMatrix matrix(scenario);
    if (!matrix.ok()) {
      std::fprintf(stderr, "%s: %s\n", scenario.name, matrix.referenceProblem().c_str());
      return 1;
    }
    references += std::string(references.empty() ? "" : ", ") + scenario.name + " " +
                  std::to_string(matrix.exchanges().size());
    for (const FaultCase& c : matrix.AllCases()) {
      cases.push_back(c);
      outcomes.push_back(matrix.Run(c));
      csv += CsvLine(c, outcomes.back());
    }
  }
  std::ofstream(docs + "/fault_matrix.csv", std::ios::binary) << csv;

  std::ifstream in(docs + "/reliability.md", std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  std::string doc = text.str();
  std::ostringstream section;
  section << "Feature reports of each reference update: " << references << ". The matrix has "
          << cases.size() << " cases.\n\n"
          << MarkdownSummary(cases, outcomes);
  std::vector<BenchCase> bench = BenchCases();
  std::vector<BenchOutcome> benchOutcomes;
  for (const BenchCase& c : bench) benchOutcomes.push_back(RunBenchCase(c));
  if (!ReplaceSection(doc, kBegin, kEnd, section.str()) ||
      !ReplaceSection(doc, kBenchBegin, kBenchEnd, BenchMarkdown(bench, benchOutcomes))) {
    std::fprintf(stderr, "%s/reliability.md lacks the fault-matrix or bench markers\n",
                 docs.c_str());
    return 1;
  }
  std::ofstream(docs + "/reliability.md", std::ios::binary) << doc;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu cases in %.1f s; wrote %s/fault_matrix.csv and %s/reliability.md\n",
              cases.size(), seconds, docs.c_str(), docs.c_str());
  return 0;
}
