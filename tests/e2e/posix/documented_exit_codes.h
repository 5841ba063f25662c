// padflash-cli's exit status on Linux as the README documents it.
#pragma once

namespace documented {
constexpr long kUpdated = 0;
constexpr long kUpdatedRetryAdvised = 1;
constexpr long kBadUsage = 2;
constexpr long kNotPrepared = 3;
constexpr long kUpdateFailed = 4;
constexpr long kAlreadyRunning = 7;
}  // namespace documented
