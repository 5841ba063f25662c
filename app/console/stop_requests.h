// While an update session runs, padflash-cli does not end when asked to:
// a controller stopped between formatting its flash and validating the new
// image is left in its bootloader, and one stopped before its settings are
// restored runs without its factory calibration. A stop request (on Linux
// SIGINT, SIGTERM and SIGHUP; on Windows Ctrl+C, Ctrl+Break and the
// console's close, logoff and shutdown events) that comes during the
// session prints "padflash-cli: the firmware update cannot be stopped now;
// padflash-cli ends when it is done" and is kept; the program ends as
// usual when the session has ended, with the session's own exit status and
// report. SIGKILL and the end of the console's grace after a close (about
// five seconds on Windows) cannot be held off: the next run then recovers
// the controller from its personality file.
#pragma once

namespace padflash {

class StopRequestsDeferred {
 public:
  StopRequestsDeferred();
  ~StopRequestsDeferred();
  StopRequestsDeferred(const StopRequestsDeferred&) = delete;
  StopRequestsDeferred& operator=(const StopRequestsDeferred&) = delete;

  // The first stop request that came while held off ("SIGINT", "Ctrl+C",
  // ...), or nullptr.
  const char* Deferred() const;
};

}  // namespace padflash
