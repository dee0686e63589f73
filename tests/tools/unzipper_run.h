// The unzipper command run as a process of its own, for its end-to-end tests.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"
#include "support/tool_run.h"

namespace test {

// unzipper's run, its output with LF line ends (Windows' text mode writes CR LF). `tracer`, when
// given, is a command (and its arguments) that runs unzipper under it.
inline ToolRun RunUnzipper(const TempDir& work, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& tracer = {}) {
  const std::string unzipper = HostPath(UPDATE_UNZIPPER);
  std::vector<std::string> all = arguments;
  std::string program = unzipper;
  if (!tracer.empty()) {
    program = tracer.front();
    all.assign(tracer.begin() + 1, tracer.end());
    all.push_back(unzipper);
    all.insert(all.end(), arguments.begin(), arguments.end());
  }
  ToolRun run = RunTool(program, work, all);
  std::erase(run.out, '\r');
  std::erase(run.err, '\r');
  return run;
}

}  // namespace test
