#include "firmware/package_text.h"

namespace padflash {

std::deque<std::string> SplitPackageText(std::string_view text) {
  std::deque<std::string> lines;
  std::string piece;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!piece.empty()) lines.push_back(std::move(piece));
      piece.clear();
    } else {
      piece.push_back(c);
    }
  }
  if (!piece.empty()) lines.push_back(std::move(piece));
  return lines;
}

}  // namespace padflash
