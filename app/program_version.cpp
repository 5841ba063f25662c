// On Linux the program's version is the one the build compiled in; it is
// defined once, in the project's CMake version.
#include "app/program_version.h"

#include <cstdio>

#include "padflash_version.h"

namespace padflash {

ProgramVersion ReadProgramVersion() {
  return ProgramVersion{PADFLASH_VERSION_MAJOR, PADFLASH_VERSION_MINOR, PADFLASH_VERSION_BUILD,
                        PADFLASH_VERSION_REVISION};
}

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
