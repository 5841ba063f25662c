#include "tools/fwgen/binary_stdout.h"

namespace fwgen {

// POSIX streams never translate line ends.
void UseBinaryStdout() {}

}  // namespace fwgen
