// FindFirstFileA matches its pattern against each file's long name and its
// 8.3 short name; a file found through its short name alone is not what the
// pattern names. This tells whether the long name matches by itself, the way
// the file search matches names.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace padflash {

// The file search's own rules, case-insensitive: '*' stands for any run of
// characters and '?' for one; '?' may also stand for none where the name
// reaches a dot or its end; '*' right before a dot stops at the name's last
// dot; a dot right before '?', '*' or the pattern's end also matches the end
// of a name without one. Every other character, ';' included, stands for
// itself.
bool MatchesLikeFileSearch(std::string_view name, std::string_view pattern);

// False only for a match found through its short name that the long name
// alone would not match.
bool FitsPattern(const WIN32_FIND_DATAA& found, const std::string& namePattern);

}  // namespace padflash
