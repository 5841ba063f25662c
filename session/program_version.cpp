// Formatting the program's version; reading it is the platform's
// (platform/<platform>/read_program_version.cpp).
#include "session/program_version.h"

#include <cstdio>

namespace padflash {

std::string FormatProgramVersion() {
  return FormatProgramVersion(ReadProgramVersion());
}

std::string FormatProgramVersion(const ProgramVersion& version) {
  char text[32];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned{version.major}, unsigned{version.minor},
                unsigned{version.build}, unsigned{version.revision});
  return text;
}

}  // namespace padflash
