// padflash-cli.exe's exit codes as the README documents them, read whole
// with GetExitCodeProcess.
#pragma once

namespace documented {
constexpr long kUpdated = 0;
constexpr long kUpdatedRetryAdvised = 3010;
constexpr long kBadUsage = 87;
constexpr long kNotPrepared = 21;
constexpr long kUpdateFailed = 1603;
constexpr long kAlreadyRunning = 1618;
}  // namespace documented
