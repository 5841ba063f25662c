// The firmware package library: a shared library shipped with a firmware
// release, read through six exported functions with C linkage
// (firmware/package_library_abi.h); its text answers are firmware/package_text.h's.
#pragma once

#include <string>

#include "firmware/package_text.h"

namespace padflash {

struct Session;
struct DeviceIdentity;

// Loads the library at `path`, fills `candidate` through the six calls and
// releases the library. 0 on success; on failure sets UpdateResult 11 (cannot
// open) or 12 (function missing), prints its line on standard output and
// returns that code.
int LoadPackageLibrary(Session& session, const std::string& path, DeviceIdentity& candidate);

}  // namespace padflash
