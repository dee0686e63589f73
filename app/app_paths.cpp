// The updater's program directory.
#include "app/app_paths.h"

#include "platform/files.h"
#include "unzip/base/path_text.h"

std::string AddPathDelimiter(const std::string& s) {
  bool blank = true;
  for (const char c : s) {
    if (static_cast<unsigned char>(c) > 0x20) blank = false;
  }
  if (blank || s.back() == '\\') return s;
  return s + "\\";
}

std::string AppExecutablePath() {
  return platform::ExecutablePath();
}

std::string GetAppDir() {
  return AddPathDelimiter(ExtractFilePath(AppExecutablePath()));
}
