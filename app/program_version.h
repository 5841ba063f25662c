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

// The maker's notice line that follows the title line of the About box and
// of the update session's banner (without its line end).
inline constexpr const char* kNoticeLine =
    "    Copyright (C) Velmar. Confidential: for authorised service use only.";

ProgramVersion ReadProgramVersion();
// "2.0.3.13": decimal, no leading zeros.
std::string FormatProgramVersion();
std::string FormatProgramVersion(const ProgramVersion& version);

}  // namespace padflash
