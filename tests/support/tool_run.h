// Runs one of the project's command-line tools as a process of its own, as a user's shell would,
// and collects its exit status and output.
#pragma once

#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace test {

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs `program` (in the host's form, without blanks: cmd.exe treats a leading quote specially)
// with each of `arguments` quoted, through the system's shell, which takes the same quoting and
// redirections on both systems. Standard input is an empty file (no terminal, nothing typed);
// standard output and error go to files in `work`, read back and removed. Arguments that are
// paths are given in the host's form.
ToolRun RunTool(const std::string& program, const TempDir& work,
                const std::vector<std::string>& arguments);

}  // namespace test
