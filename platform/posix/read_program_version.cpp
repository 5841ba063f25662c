// On Linux the program's version is the one the build compiled in; it is
// defined once, in the project's CMake version.
#include "padflash_version.h"
#include "platform/program_version.h"

namespace padflash {

ProgramVersion ReadProgramVersion() {
  return ProgramVersion{PADFLASH_VERSION_MAJOR, PADFLASH_VERSION_MINOR, PADFLASH_VERSION_BUILD,
                        PADFLASH_VERSION_REVISION};
}

}  // namespace padflash
