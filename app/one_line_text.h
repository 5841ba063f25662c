// The status line shows one line: the engine's messages carry "\r\n" line
// ends and tabs, which a one-line control would draw as glyphs or drop.
#pragma once

#include <string>
#include <string_view>

namespace padflash {

// Each run of line ends and tabs as one space; trailing blanks dropped.
std::string AsOneLine(std::string_view text);

}  // namespace padflash
