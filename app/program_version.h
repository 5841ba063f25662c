// The program's own four-part file version.
#pragma once

#include <cstdint>
#include <string>

namespace padflash {

struct ProgramVersion {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t build = 0;
  uint16_t revision = 0;
};

ProgramVersion ReadProgramVersion();
// "2.0.3.13": decimal, no leading zeros.
std::string FormatProgramVersion();
std::string FormatProgramVersion(const ProgramVersion& version);

}  // namespace padflash
