// The one table every benchmark prints its figures in (bench/run shows the
// rows of all of them under one header): area, what was measured, the
// figures, and the target with "met" or "MISSES" and the figure that misses.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

namespace bench {

inline std::string Format(const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

inline void PrintHeader() {
  std::printf("%-11s | %-36s | %-62s | %s\n", "area", "case", "figures", "target");
}

inline void PrintRow(const char* area, const std::string& item, const std::string& figures,
                     const std::string& verdict) {
  std::printf("%-11s | %-36s | %-62s | %s\n", area, item.c_str(), figures.c_str(), verdict.c_str());
  std::fflush(stdout);
}

// "met (<target>)" or "MISSES (<target>)".
inline std::string Verdict(bool met, const char* target) {
  return std::string(met ? "met (" : "MISSES (") + target + ")";
}

}  // namespace bench
