// The updater's program directory.
#include "app/app_paths.h"

#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/process_name_match.h"

std::string ProcessNameOf(const std::string& mainExeName) {
  return mainExeName.substr(platform::ExtractFilePath(mainExeName).size());
}

bool IsUpdaterName(const std::string& mainExeName) {
  return platform::ProcessNameMatches(AppExecutablePath(), ProcessNameOf(mainExeName));
}

std::string AppExecutablePath() {
  return platform::ExecutablePath();
}

const std::string& GetAppDir() {
  static const std::string appDir =
      platform::AddPathDelimiter(platform::ExtractFilePath(AppExecutablePath()));
  return appDir;
}
