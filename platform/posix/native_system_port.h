// The system port of the platform being built: code that needs "the real
// one" (padflash-cli, the tests' port) names NativeSystemPort.
#pragma once

#include "platform/posix/posix_system_port.h"

namespace padflash {
using NativeSystemPort = PosixSystemPort;
}  // namespace padflash
