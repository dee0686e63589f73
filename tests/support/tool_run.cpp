// Runs a command-line tool through the system's shell.
#include "support/tool_run.h"

#include <cstdlib>

#include "platform/files.h"

namespace test {

ToolRun RunTool(const std::string& program, const TempDir& work,
                const std::vector<std::string>& arguments) {
  std::string command = program;
  for (const std::string& argument : arguments) command += " \"" + argument + "\"";
  const std::string out = work.File("stdout.txt");
  const std::string err = work.File("stderr.txt");
  const std::string in = work.File("stdin.txt");
  WriteFileBytes(in, "");
  command +=
      " > \"" + NativePath(out) + "\" 2> \"" + NativePath(err) + "\" < \"" + NativePath(in) + "\"";
  const int raw = std::system(command.c_str());
  ToolRun run;
  // POSIX answers a wait status (the exit code in the second byte), Windows the exit code.
  run.status = raw > 255 ? (raw >> 8) & 0xFF : raw;
  run.out = ReadFileBytes(out);
  run.err = ReadFileBytes(err);
  (void)platform::RemoveFile(out);  // the next run writes them again
  (void)platform::RemoveFile(err);
  return run;
}

}  // namespace test
