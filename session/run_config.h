// The run configuration, filled once from the command line before any window
// exists.
#pragma once

#include <string>

namespace padflash {

struct Session;

struct RunConfig {
  std::string firmwarePath;
  bool silent = false;                 // /s
  bool askMode = false;                // /a (cleared by /s)
  bool overrideCompatibility = false;  // /o; also set by discovery and the session
  bool saveFlashConfig = true;         // /r clears
  bool packageLibraryAllowed = true;   // /d clears
  bool verbose = false;                // /v
};

// Result of ParseCommandLine that ends the program (after /?).
inline constexpr int kParseExitNow = 1608;

// Fills session.config and the echo text in session.MessageBuffer. Returns 0
// to continue or kParseExitNow after showing the /? usage box.
int ParseCommandLine(Session& session, int argc, const char* const* argv);

}  // namespace padflash
