// Runs the whole fault matrix and writes its table and summary:
//   fault_matrix_report <docs folder>
// writes <docs>/fault_matrix.csv and replaces the part of
// <docs>/reliability.md between the fault-matrix markers.
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/reliability/fault_matrix.h"

using namespace padflash::reliability;

namespace {

constexpr const char* kBegin = "<!-- fault-matrix:begin -->\n";
constexpr const char* kEnd = "<!-- fault-matrix:end -->";

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
  const size_t begin = doc.find(kBegin);
  const size_t end = doc.find(kEnd);
  if (begin == std::string::npos || end == std::string::npos || end < begin) {
    std::fprintf(stderr, "%s/reliability.md has no fault-matrix markers\n", docs.c_str());
    return 1;
  }
  std::ostringstream section;
  section << "Feature reports of each reference update: " << references << ". The matrix has "
          << cases.size() << " cases.\n\n"
          << MarkdownSummary(cases, outcomes);
  doc.replace(begin + std::string(kBegin).size(), end - begin - std::string(kBegin).size(),
              section.str());
  std::ofstream(docs + "/reliability.md", std::ios::binary) << doc;
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%zu cases in %.1f s; wrote %s/fault_matrix.csv and %s/reliability.md\n",
              cases.size(), seconds, docs.c_str(), docs.c_str());
  return 0;
}
