// What a firmware package library hands out as text (HEX lines,
// configuration-instruction lines), and the bounds on its answers.
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace padflash {

// A package hands out at most this much text per function and this many
// compatible revisions; larger answers are refused and leave the member
// unchanged, so a broken library cannot exhaust memory.
inline constexpr int kMaxPackageTextBytes = 16 * 1024 * 1024;
inline constexpr int kMaxCompatibleIds = 65536;

// Package text as lines: every CR becomes LF, the text is cut at each LF and
// empty pieces are dropped.
std::deque<std::string> SplitPackageText(std::string_view text);

}  // namespace padflash
