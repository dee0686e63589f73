// Closing the main program before its files are replaced.
#include "app/run/close_program.h"

#include <thread>

#include "app/app_paths.h"
#include "app/update_log.h"
#include "platform/processes.h"

namespace {

// A main program that has not gone after this long will not go: the update is not applied.
constexpr auto kCloseTimeLimit = std::chrono::seconds(60);
// A program on its way out is looked at this often.
constexpr auto kExitPoll = std::chrono::milliseconds(100);

}  // namespace

bool WaitForExit(const TRunContext& run, const std::string& name, std::chrono::milliseconds grace) {
  const auto start = std::chrono::steady_clock::now();
  while (platform::FindProcessID(name) > 0) {
    if (std::chrono::steady_clock::now() - start >= grace) return false;
    run.Pump();
    std::this_thread::sleep_for(kExitPoll);
  }
  return true;
}

std::string KilledText(const std::string& mainExeName) {
  return mainExeName + " did not close when asked and was terminated.";
}

namespace {

// Asks the program (its processes go by `process`) to close and gives it the grace to do so:
// whether it has gone.
bool AskToClose(const TRunContext& run, const std::string& mainExeName,
                const std::string& process) {
  if (!platform::AskProcessesToClose(process)) {
    run.Log.Write(mainExeName + " could not be asked to close");
    return WaitForExit(run, process, std::chrono::milliseconds(0));
  }
  run.Log.Write("asked " + mainExeName + " to close");
  if (!WaitForExit(run, process, kExitGrace)) return false;
  run.Log.Write("closed " + mainExeName + ": it closed when asked");
  return true;
}

void SayKilled(const TRunContext& run, const std::string& mainExeName, bool* killed) {
  run.Log.Write(mainExeName + " had to be killed");
  if (killed != nullptr) *killed = true;
}

}  // namespace

TStepOutcome CloseProgram(const TRunContext& run, const std::string& mainExeName, bool archiveWaits,
                          bool wasRunning, bool* killed) {
  if (killed != nullptr) *killed = false;
  // The updater never waits for itself: a main program of its own name would be itself.
  if (mainExeName.empty() || IsUpdaterName(mainExeName)) return {};
  const std::string process = ProcessNameOf(mainExeName);
  // Only to start it again: a program that was not running is left to start.
  if (!archiveWaits && !wasRunning) return {};
  // A program that started the updater and is on its way out (saving its state) ends by itself:
  // it is not asked, let alone killed, for that.
  if (WaitForExit(run, process, kExitGrace)) {
    if (wasRunning && archiveWaits) run.Log.Write(mainExeName + " ended by itself");
    return {};
  }
  if (AskToClose(run, mainExeName, process)) return {};
  if (!archiveWaits) {
    // Only to start it again: one termination, no waiting for it to go.
    if (platform::KillProcessByName(process)) SayKilled(run, mainExeName, killed);
    return {};
  }
  const auto start = std::chrono::steady_clock::now();
  bool terminated = false;
  for (int id = platform::FindProcessID(process); id > 0; id = platform::FindProcessID(process)) {
    if (std::chrono::steady_clock::now() - start >= kCloseTimeLimit) {
      const std::string user = platform::ProcessUserName(id);
      const std::string failure = mainExeName + " (process " + std::to_string(id) +
                                  (user.empty() ? "" : ", user " + user) +
                                  ") could not be closed; the update was not applied.";
      run.Log.Write(failure);
      run.Log.Write(mainExeName + " is not started again");
      TStepOutcome outcome = TStepOutcome::Failed(failure);
      outcome.Relaunch = false;
      return outcome;
    }
    // The search above says whether the termination took.
    terminated = platform::KillProcessByName(process) || terminated;
    run.Pump();
    std::this_thread::sleep_for(kExitPoll);
  }
  if (terminated) SayKilled(run, mainExeName, killed);
  run.Log.Write("closed " + mainExeName);
  return {};
}
