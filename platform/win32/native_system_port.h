// The system port of the platform being built: code that needs "the real
// one" (padflash-cli, the tests' port) names NativeSystemPort.
#pragma once

#include "platform/win32/win32_system_port.h"

namespace padflash {
using NativeSystemPort = Win32SystemPort;
}  // namespace padflash
