// The text a person reads about a failed platform call, made from the error record of the file
// layer: the operation, the path as the system shows paths, and the system's reason.
#pragma once

#include <string>

#include "platform/files.h"

namespace platform {

// "<operation> "<path>": <system text>", such as `rename "C:\app\a.dll": Access is denied`.
// `handlePath` names the file of a failed handle operation (read, write, flush), whose record
// carries no path; without any path the text is "<operation>: <system text>".
std::string ErrorText(const OsError& error, const std::string& handlePath = "");

// Records for LastError() that `path` would grow larger than its reader takes ("file too
// large": EFBIG, ERROR_FILE_TOO_LARGE), for a writer that refuses before it writes.
void RecordFileTooLarge(const std::string& path);

// Keeps the failure recorded when it is made through the clean-up calls of its scope (an
// attribute put back, a handle closed), which may record failures of their own: the caller
// then reports what failed first, not what failed last.
class KeepFirstError {
 public:
  KeepFirstError() : first_(LastError()) {}
  ~KeepFirstError();
  KeepFirstError(const KeepFirstError&) = delete;
  KeepFirstError& operator=(const KeepFirstError&) = delete;

 private:
  OsError first_;
};

}  // namespace platform
