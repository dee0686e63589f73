// The fault plan and the kill step are read from the environment once; the counters live as long
// as the process.
#include "platform/injected_faults.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/files_internal.h"

namespace platform {

void StepBoundary() {
  static std::atomic<long> step = 0;
  static const char* killAt = std::getenv("UPDATE_KILL_AT_STEP");
  if (killAt != nullptr && std::atoi(killAt) == ++step) std::_Exit(137);  // as abrupt as a kill
}

void PausePoint(const char* name) {
  const char* plan = std::getenv("UPDATE_PAUSE_AT");
  const size_t length = std::strlen(name);
  if (plan == nullptr || std::strncmp(plan, name, length) != 0 || plan[length] != ':') return;
  const char* file = plan + length + 1;
  if (std::FILE* marker = std::fopen(file, "w")) std::fclose(marker);
  // Looked at without opening it: an open file could not be removed on Windows meanwhile. The
  // bound is for a test that died, not for a slow one: the test removes the marker when it has
  // done what it paused the run for.
  for (int waited = 0; waited < 300000; waited += 20) {
    std::error_code error;
    if (!std::filesystem::exists(file, error)) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

}  // namespace platform

namespace platform::internal {
namespace {

struct FaultPlan {
  bool active = false;
  FaultKind kind = FaultKind::kWrite;
  long number = 0;
  int error = 0;  // index into the codes
};

const char* KindName(FaultKind kind) {
  switch (kind) {
    case FaultKind::kWrite:
      return "write";
    case FaultKind::kRename:
      return "rename";
    default:
      return "flush";
  }
}

FaultPlan ReadPlan() {
  FaultPlan plan;
  const char* text = std::getenv("UPDATE_INJECT_FAULT");
  if (text == nullptr) return plan;
  char kind[16] = {};
  char error[16] = {};
  if (std::sscanf(text, "%15[a-z]:%ld:%15[a-z-]", kind, &plan.number, error) != 3) return plan;
  for (FaultKind candidate : {FaultKind::kWrite, FaultKind::kRename, FaultKind::kFlush}) {
    if (std::strcmp(kind, KindName(candidate)) == 0) {
      plan.kind = candidate;
      plan.active = true;
    }
  }
  plan.error = std::strcmp(error, "disk-full") == 0 ? 0 : std::strcmp(error, "locked") == 0 ? 1 : 2;
  return plan;
}

}  // namespace

bool InjectedFailure(FaultKind kind, const char* operation, const std::string& path,
                     const FaultCodes& codes) {
  static const FaultPlan plan = ReadPlan();
  static std::atomic<long> counts[3];
  if (!plan.active || kind != plan.kind) return false;
  if (++counts[static_cast<int>(kind)] != plan.number) return false;
  if (const char* record = std::getenv("UPDATE_INJECT_FAULT_RECORD")) {
    if (std::FILE* file = std::fopen(record, "a")) {
      std::fprintf(file, "%s %ld\n", KindName(kind), plan.number);
      std::fclose(file);
    }
  }
  RecordError(operation, path, codes[plan.error]);
  return true;
}

}  // namespace platform::internal
