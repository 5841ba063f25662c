// The long options of padflash-cli, taken out of the command line before
// the switches shared with the dialog program are parsed.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace padflash {

struct CliOptions {
  bool list = false;
  bool help = false;
  int device = 0;
  std::optional<bool> answer;
  // argv[0] and every argument that is not a long option, in order.
  std::vector<std::string> rest;
  // Set when the long options are malformed.
  std::string error;
};

CliOptions ParseCliOptions(int argc, const char* const* argv);

// Exit status of padflash-cli.
enum CliExit : int {
  kCliUpdated = 0,              // the firmware was updated
  kCliUpdatedRetryAdvised = 1,  // updated; the session advises to run again (3010)
  kCliBadUsage = 2,
  kCliNotPrepared = 3,        // no device, no file, or the preparation refused
  kCliUpdateFailed = 4,       // the session failed (1603)
  kCliLowBattery = 5,         // refused by the power guard (27)
  kCliClosingStepFailed = 6,  // updated, but FeedConfig1 or the disconnect failed (-1)
  kCliAlreadyRunning = 7,     // another instance holds "FennickFWTool"
};

// Maps an update session's exit code to the exit status.
int CliExitForSession(int sessionExitCode);

const char* CliUsage();

}  // namespace padflash
