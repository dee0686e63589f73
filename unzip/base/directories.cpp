// The component's directory steps over the platform's file helpers.
#include "unzip/base/directories.h"

#include "platform/exceptions.h"
#include "platform/file_helpers.h"
#include "platform/files.h"

bool ForceDirectories(const std::string& path) {
  if (path.empty()) throw EInOutError("Unable to create directory", 3);
  return platform::MakeDirectories(path);
}

bool CanChangeToDir(const std::string& path) {
  const std::string previous = platform::CurrentDirectory();
  const bool changed = platform::ChangeDirectory(path);
  // Back where the process was; a directory that vanished meanwhile cannot be returned to.
  (void)platform::ChangeDirectory(previous);
  return changed;
}
