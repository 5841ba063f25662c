// The simulated library's replay mode: a backend playing the trace named by
// VLMHID_SIM_REPLAY, or null when the variable is not set.
#pragma once

#include <memory>

#include "hidlib/hid_backend.h"

namespace sim {

std::unique_ptr<vlmhid::HidBackend> ReplayBackendFromEnvironment();

}  // namespace sim
