// The single-instance guard's per-process part: a name this process holds already is granted
// again at once (a system lock alone would refuse a second open or another thread).
#include "platform/instance_guard.h"

#include <mutex>
#include <set>

#include "platform/instance_guard_internal.h"

namespace platform {
namespace {

std::mutex heldMutex;
std::set<std::string>& HeldNames() {
  static auto* names = new std::set<std::string>;
  return *names;
}

}  // namespace

bool AcquireInstanceGuard(const std::string& name) {
  std::lock_guard<std::mutex> lock(heldMutex);
  if (HeldNames().count(name) != 0) return true;
  switch (internal::TakeSystemGuard(name)) {
    case internal::GuardOutcome::kTaken:
      HeldNames().insert(name);
      return true;
    case internal::GuardOutcome::kHeldElsewhere:
      return false;
    default:
      return true;  // the guard fails open
  }
}

}  // namespace platform
