#include "app/console/console_streams.h"

#include <unistd.h>

namespace padflash {

ConsoleStreams::ConsoleStreams() {
  interactive_ = isatty(STDIN_FILENO) && isatty(STDERR_FILENO);
  liveStatus_ = isatty(STDERR_FILENO);
}

// Carriage return and "erase to the end of the line".
const char* ConsoleStreams::clearLine() const {
  return "\r\033[K";
}

}  // namespace padflash
