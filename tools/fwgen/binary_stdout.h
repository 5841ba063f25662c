// Standard output that writes bytes as they are: the Intel HEX text carries
// its own "\r\n" line ends (fwgen/posix or fwgen/win32, chosen by CMake).
#pragma once

namespace fwgen {

void UseBinaryStdout();

}  // namespace fwgen
