// Failure texts from the platform's error record.
#include "platform/error_text.h"

#include "platform/files_internal.h"

namespace platform {

std::string ErrorText(const OsError& error, const std::string& handlePath) {
  const std::string path = DisplayPath(error.path.empty() ? handlePath : error.path);
  std::string text = error.operation;
  if (!path.empty()) text += (text.empty() ? "\"" : " \"") + path + "\"";
  const std::string reason = SystemErrorText(error.code);
  return text.empty() ? reason : text + ": " + reason;
}

KeepFirstError::~KeepFirstError() {
  internal::RecordError(first_.operation.c_str(), first_.path, first_.code);
}

}  // namespace platform
