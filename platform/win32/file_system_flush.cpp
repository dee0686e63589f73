// Many files made durable at once on Windows, which offers a user no flush of a whole volume:
// each file is flushed by itself, and FileSystemFlush writes nothing.
#include <windows.h>

#include <string>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files.h"
#include "platform/win32/files_internal.h"

namespace platform {

bool FilesNeedFlushEach() {
  return true;
}

// Flushing a whole volume needs administrator rights: the files are flushed each instead.
FileSystemFlush::FileSystemFlush(const std::string& path) : path_(path) {}
FileSystemFlush::~FileSystemFlush() = default;
FileSystemFlush::FileSystemFlush(FileSystemFlush&& other) noexcept = default;
FileSystemFlush& FileSystemFlush::operator=(FileSystemFlush&& other) noexcept = default;

bool FileSystemFlush::Flush() {
  return !InjectedFailure(internal::FaultKind::kFlush, "flush file system", path_);
}

}  // namespace platform
