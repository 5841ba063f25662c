// Engine texts as Qt shows them. The engine writes 8-bit text in the user's
// character set with "\r\n" line ends, as the Win32 controls take it; Qt
// breaks lines at "\n" only.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace padflash {

// For multi-line controls and message boxes: "\r\n" and "\n" break the line,
// a lone '\r' is dropped.
QString MultiLineText(std::string_view text);
// For the one-line status static: every run of line ends and tabs becomes one
// space, and trailing blanks go.
QString OneLineText(std::string_view text);
// A file name from Qt in the engine's 8-bit form (the file system's
// encoding).
std::string EnginePath(const QString& path);

}  // namespace padflash
