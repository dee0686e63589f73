// The OS-neutral parts of the file layer: the error record and File's ownership of its handle.
#include "platform/files_internal.h"

namespace platform {
namespace {
thread_local OsError lastError;
}  // namespace

namespace internal {

void RecordError(const char* operation, const std::string& path, int code) {
  lastError.operation = operation;
  lastError.path = path;
  lastError.code = code;
}

std::string TrimSystemText(std::string text, int code) {
  while (!text.empty() &&
         (text.back() == '.' || text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) text = "Unknown error " + std::to_string(code);
  return text;
}

}  // namespace internal

const OsError& LastError() {
  return lastError;
}

File::~File() {
  Close();
}

File::File(File&& other) noexcept : handle_(other.handle_) {
  other.handle_ = kInvalid;
}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    handle_ = other.handle_;
    other.handle_ = kInvalid;
  }
  return *this;
}

const char* PathKindText(PathKind kind) {
  switch (kind) {
    case PathKind::kMissing:
      return "missing";
    case PathKind::kFile:
      return "a regular file";
    case PathKind::kDirectory:
      return "a directory";
    case PathKind::kLink:
      return "a link";
    case PathKind::kSpecial:
      return "a special file (a FIFO, a device or a socket)";
    case PathKind::kUnknown:
      break;
  }
  return "of a kind the system cannot tell";
}

}  // namespace platform
