// The program's own four-part file version as the windows show it.
#pragma once

#include <string>

#include "platform/program_version.h"

namespace padflash {

// The maker's notice line that follows the title line of the About box and
// of the update session's banner (without its line end).
inline constexpr const char* kNoticeLine =
    "    Copyright (C) 2026 the padflash developers. Free software under the MIT licence.";

// "2.0.3.13": decimal, no leading zeros.
std::string FormatProgramVersion();
std::string FormatProgramVersion(const ProgramVersion& version);

}  // namespace padflash
