// A copy of the child program holding a file open.
#include "support/file_holder.h"

#include "platform/launch.h"
#include "support/child_processes.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace test {

::testing::AssertionResult FileHolderProcess::Start(const std::string& program,
                                                    const std::string& file) {
  program_ = copies_.Add(program);
  const std::string record = program + ".record";
  {
    ScopedEnv recordTo("UPDATE_CHILD_RECORD", record);
    ScopedEnv hold("UPDATE_CHILD_HOLD", file);
    if (!platform::StartProgram(program_, "-hold")) {
      return ::testing::AssertionFailure() << "could not start " << program_;
    }
  }
  if (!WaitFor([&] { return std::filesystem::exists(FsPath(record)); })) {
    return ::testing::AssertionFailure() << program_ << " did not start";
  }
  const std::string said = ReadFileBytes(record);
  if (said != "-hold\nholding\n") {
    return ::testing::AssertionFailure() << program_ << " could not hold " << file << ": " << said;
  }
  return ::testing::AssertionSuccess();
}

bool FileHolderProcess::Stop() {
  return ChildProgramCopies::Kill(program_);
}

std::string FileHolderProcess::Name() const {
  return program_.substr(program_.find_last_of('\\') + 1);
}

}  // namespace test
