// The updater's program directory.
#include "app/app_paths.h"

#include "platform/files.h"
#include "platform/path_text.h"

std::string AppExecutablePath() {
  return platform::ExecutablePath();
}

const std::string& GetAppDir() {
  static const std::string appDir =
      platform::AddPathDelimiter(platform::ExtractFilePath(AppExecutablePath()));
  return appDir;
}
