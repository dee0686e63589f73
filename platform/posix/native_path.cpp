// The POSIX paths of the file layer: the system's "\" paths in the native "/" form and back.
#include "platform/posix/native_path.h"

#include <cerrno>
#include <string>

#include "platform/files_internal.h"

namespace platform {
namespace internal {

bool Native(const char* operation, const std::string& path, std::string* native) {
  if (path.find('\0') != std::string::npos) {
    RecordError(operation, path, EINVAL);
    return false;
  }
  *native = path;
  for (char& c : *native) {
    if (c == '\\') c = '/';
  }
  return true;
}

std::string WithoutFinalSlashes(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  return native;
}

std::string SystemForm(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace internal
}  // namespace platform
