// The test hooks of a shipped build: none. Nothing in the environment can make it stop, pause or
// fail at a planned point.
#include "platform/injected_faults.h"

namespace platform {

void StepBoundary() {}

void PausePoint(const char*) {}

}  // namespace platform

namespace platform::internal {

bool InjectedFailure(FaultKind, const char*, const std::string&, const FaultCodes&) {
  return false;
}

}  // namespace platform::internal
