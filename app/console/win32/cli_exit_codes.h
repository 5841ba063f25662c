// padflash-cli's exit codes on Windows, for the software-deployment tools
// that start it and read its code (Configuration Manager, Intune, Group
// Policy scripts). Where the update session has a code of its own, the
// program exits with it: the session's codes follow the Windows Installer
// convention those tools already read (0 done, 3010 done and a second run
// or restart advised, 1603 failed), and its other two (27 refused by the
// power guard at the start, -1 updated but a closing step failed) keep
// their meaning. The outcomes decided before any session are given
// Windows' own error codes that name them.
#pragma once

namespace padflash {

enum CliExit : int {
  kCliUpdated = 0,                 // ERROR_SUCCESS; the session's 0
  kCliUpdatedRetryAdvised = 3010,  // ERROR_SUCCESS_REBOOT_REQUIRED; the session's 3010
  // ERROR_INVALID_PARAMETER: an unknown option, a missing value, no file.
  kCliBadUsage = 87,
  // ERROR_NOT_READY: nothing was changed; no controller, no firmware file,
  // or the checks refused the update.
  kCliNotPrepared = 21,
  kCliUpdateFailed = 1603,  // ERROR_INSTALL_FAILURE; the session's 1603
  kCliLowBattery = 27,      // the session's own code for the power guard's refusal
  // The session's -1 (GetExitCodeProcess reads 4294967295): the firmware
  // was updated, but restoring FeedConfig1 or the disconnect failed.
  kCliClosingStepFailed = -1,
  // ERROR_INSTALL_ALREADY_RUNNING: another padflash or padflash-cli holds
  // "FennickFWTool"; deployment tools try again later on this code.
  kCliAlreadyRunning = 1618,
};

// The end of `padflash-cli --help`.
inline constexpr const char* kCliExitHelp =
    "Exit codes: 0 updated; 3010 updated, run again advised; 87 bad usage;\n"
    "21 not prepared (no device, no file, or the checks refused the update);\n"
    "1603 update failed; 27 not enough battery power; -1 updated but a closing\n"
    "step failed; 1618 another instance is running.\n";

}  // namespace padflash
