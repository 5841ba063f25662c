// What padflash-cli's standard streams are attached to, as the platform
// tells (console_streams.cpp in app/console/posix or app/console/win32).
#pragma once

namespace padflash {

class ConsoleStreams {
 public:
  ConsoleStreams();

  // Standard input and standard error are a terminal: questions are asked
  // there.
  bool interactive() const { return interactive_; }
  // Standard error is a terminal: one live status line is drawn there,
  // blanked before each redraw with clearLine().
  bool liveStatus() const { return liveStatus_; }
  const char* clearLine() const;

 private:
  bool interactive_ = false;
  bool liveStatus_ = false;
};

}  // namespace padflash
