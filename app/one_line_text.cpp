#include "app/one_line_text.h"

namespace padflash {

std::string AsOneLine(std::string_view text) {
  std::string line;
  line.reserve(text.size());
  bool inBreak = false;
  for (char c : text) {
    const bool breaks = c == '\r' || c == '\n' || c == '\t';
    if (breaks && !inBreak) line.push_back(' ');
    if (!breaks) line.push_back(c);
    inBreak = breaks;
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

}  // namespace padflash
