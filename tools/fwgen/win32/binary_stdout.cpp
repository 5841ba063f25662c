#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "tools/fwgen/binary_stdout.h"

namespace fwgen {

// The C runtime's stdout starts in text mode, which would write each "\r\n"
// as "\r\r\n".
void UseBinaryStdout() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

}  // namespace fwgen
