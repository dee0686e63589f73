// The system's half of the single-instance guard, below the per-process bookkeeping that both
// systems share (platform/instance_guard.cpp).
#pragma once

#include <string>

namespace platform::internal {

enum class GuardOutcome { kTaken, kHeldElsewhere, kError };

// Takes the system's lock for `name` for the rest of the process's life.
GuardOutcome TakeSystemGuard(const std::string& name);

}  // namespace platform::internal
