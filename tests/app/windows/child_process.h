// A process that a Windows end-to-end test starts itself: CreateProcessW with an environment of
// the test's choosing, waited for with a bound, and terminated if the test leaves it running.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace test {

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();  // terminates the process when it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts `program` (system form) with its path quoted on the command line, followed by
  // `argument` when that is not empty. The process gets the test's environment with the
  // variables of `environment` (name, value) set in it. False when it could not be started.
  bool Start(const std::string& program, const std::string& argument,
             const std::vector<std::pair<std::string, std::string>>& environment = {});

  DWORD Id() const { return id_; }
  bool Running() const;
  // Waits for the end, test::kProcessWait at most (a bound for a process that never ends, not a
  // measurement); the exit code, or nothing when the process still runs. `whileWaiting` is
  // called on every round, for work that the process waits for (answering its message box, say).
  std::optional<DWORD> WaitForExit(const std::function<void()>& whileWaiting = {});
  // Terminates the process and waits until it has ended; false when it still runs after the
  // wait's bound.
  [[nodiscard]] bool Terminate();

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

}  // namespace test
