// The long options of padflash-cli, taken out of the command line before
// the switches shared with the dialog program are parsed.
#pragma once

#include <optional>
#include <string>
#include <vector>

// The exit codes of the platform being built (app/console/posix or
// app/console/win32).
#include "cli_exit_codes.h"

namespace padflash {

struct CliOptions {
  bool list = false;
  bool help = false;
  // --version: print the program's version and exit.
  bool version = false;
  int device = 0;
  // --device by serial string or device path instead of list index.
  std::string deviceKey;
  std::optional<bool> answer;
  // One JSON document on standard output instead of the protocol.
  bool json = false;
  // The file the verbose protocol is appended to; empty: none.
  std::string logPath;
  // argv[0] and every argument that is not a long option, in order.
  std::vector<std::string> rest;
  // Set when the long options are malformed: the first fault found. The
  // rest of the line is still read, so that --json is known.
  std::string error;
};

CliOptions ParseCliOptions(int argc, const char* const* argv);

// Maps an update session's exit code to the exit status.
int CliExitForSession(int sessionExitCode);

// The usage text, ending in the platform's exit codes.
const char* CliUsage();

}  // namespace padflash
