// The program's own four-part file version, as the platform keeps it: the
// version resource on Windows, the build's own numbers elsewhere
// (platform/<platform>/read_program_version.cpp).
#pragma once

#include <cstdint>

namespace padflash {

struct ProgramVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t build = 0;
  uint16_t revision = 0;
};

ProgramVersion ReadProgramVersion();

}  // namespace padflash
