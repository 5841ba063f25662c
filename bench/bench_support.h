// What every benchmark program shares besides its table: the --runs option,
// the median of repeated figures and a scratch folder of its own.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace bench {

// Reads "[--runs N]" into `runs` (at least 1). Anything else prints the
// usage line and gives false, so a mistyped option never starts a long
// measurement.
inline bool ParseRuns(int argc, char** argv, const char* usage, int& runs) {
  if (argc == 1) return true;
  if (argc == 3 && std::strcmp(argv[1], "--runs") == 0) {
    runs = std::max(1, std::atoi(argv[2]));
    return true;
  }
  std::fprintf(stderr, "usage: %s\n", usage);
  return false;
}

template <typename T>
T Median(std::vector<T> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A new folder under the temporary directory; empty when none could be made.
inline std::filesystem::path MakeScratchFolder() {
  std::string pattern = (std::filesystem::temp_directory_path() / "padflash_bench_XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    return {};
  }
  return pattern;
}

}  // namespace bench
