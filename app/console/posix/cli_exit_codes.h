// padflash-cli's exit status on Linux: small numbers, one per outcome, as
// shell scripts test them.
#pragma once

namespace padflash {

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

// The end of `padflash-cli --help`.
inline constexpr const char* kCliExitHelp =
    "Exit status: 0 updated; 1 updated, run again advised; 2 bad usage;\n"
    "3 not prepared (no device, no file, or the checks refused the update);\n"
    "4 update failed; 5 not enough battery power; 6 updated but a closing step\n"
    "failed; 7 another instance is running.\n";

}  // namespace padflash
