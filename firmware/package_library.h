// The firmware package library: a shared library shipped with a firmware
// release, read through six exported functions with C linkage
// (firmware/package_library_abi.h).
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace padflash {

struct Session;
struct DeviceIdentity;

// A package hands out at most this much text per function and this many
// compatible revisions; larger answers are refused and leave the member
// unchanged, so a broken library cannot exhaust memory.
inline constexpr int kMaxPackageTextBytes = 16 * 1024 * 1024;
inline constexpr int kMaxCompatibleIds = 65536;

// Loads the library at `path`, fills `candidate` through the six calls and
// releases the library. 0 on success; on failure sets UpdateResult 11 (cannot
// open) or 12 (function missing), prints its line on standard output and
// returns that code.
int LoadPackageLibrary(Session& session, const std::string& path, DeviceIdentity& candidate);

// Package text as lines: every CR becomes LF, the text is cut at each LF and
// empty pieces are dropped.
std::deque<std::string> SplitPackageText(std::string_view text);

}  // namespace padflash
