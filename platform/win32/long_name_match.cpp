#include "platform/win32/long_name_match.h"

#include <vector>

namespace padflash {
namespace {

// The file search turns the pattern's wildcards into these before matching.
constexpr char kDosStar = '<';  // '*' before a dot
constexpr char kDosQm = '>';    // every '?'
constexpr char kDosDot = '"';   // a dot before '?', '*' or the end

// Patterns and names longer than this are not judged (the match is kept).
constexpr size_t kMaxJudged = 1024;

std::string Upper(std::string_view text) {
  std::string upper(text);
  if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
  return upper;
}

std::string Converted(std::string_view pattern) {
  std::string converted = Upper(pattern);
  for (size_t i = 0; i < converted.size(); ++i) {
    const char next = i + 1 < pattern.size() ? pattern[i + 1] : '\0';
    if (pattern[i] == '?') {
      converted[i] = kDosQm;
    } else if (pattern[i] == '*' && next == '.') {
      converted[i] = kDosStar;
    } else if (pattern[i] == '.' && (next == '?' || next == '*' || next == '\0')) {
      converted[i] = kDosDot;
    }
  }
  return converted;
}

}  // namespace

bool MatchesLikeFileSearch(std::string_view nameText, std::string_view patternText) {
  if (nameText.size() > kMaxJudged || patternText.size() > kMaxJudged) return true;
  const std::string name = Upper(nameText);
  const std::string pattern = Converted(patternText);
  const size_t n = name.size();
  const size_t p = pattern.size();
  const size_t lastDot = name.rfind('.');
  // at[i * (n + 1) + j]: pattern from i matches name from j.
  std::vector<char> at((p + 1) * (n + 1), 0);
  auto cell = [&](size_t i, size_t j) -> char& { return at[i * (n + 1) + j]; };
  cell(p, n) = 1;
  for (size_t i = p; i-- > 0;) {
    for (size_t j = n + 1; j-- > 0;) {
      const char c = pattern[i];
      const bool end = j == n;
      bool match = false;
      if (c == '*') {
        match = cell(i + 1, j) || (!end && cell(i, j + 1));
      } else if (c == kDosStar) {
        // Any run that does not take in the name's last dot.
        const bool mayTake = !end && (lastDot == std::string::npos || j != lastDot);
        match = cell(i + 1, j) || (mayTake && cell(i, j + 1));
      } else if (c == kDosQm) {
        match = (!end && name[j] != '.' && cell(i + 1, j + 1)) ||
                ((end || name[j] == '.') && cell(i + 1, j));
      } else if (c == kDosDot) {
        match = (!end && name[j] == '.' && cell(i + 1, j + 1)) || (end && cell(i + 1, j));
      } else {
        match = !end && name[j] == c && cell(i + 1, j + 1);
      }
      cell(i, j) = match ? 1 : 0;
    }
  }
  return cell(0, 0) != 0;
}

bool FitsPattern(const WIN32_FIND_DATAA& found, const std::string& namePattern) {
  if (namePattern.find_first_of("*?") == std::string::npos) return true;
  if (found.cAlternateFileName[0] == '\0') return true;
  return MatchesLikeFileSearch(found.cFileName, namePattern);
}

}  // namespace padflash
