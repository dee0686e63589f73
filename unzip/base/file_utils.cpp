// File and directory routines over the platform file layer.
#include "unzip/base/file_utils.h"

#include <vector>

#include "platform/exceptions.h"
#include "platform/files.h"
#include "platform/message_pump.h"
#include "unzip/base/path_text.h"

uint32_t FileGetAttr(const std::string& fileName) {
  return platform::ReadAttributes(fileName);
}

int FileSetAttr(const std::string& fileName, uint32_t attributes) {
  return platform::WriteAttributes(fileName, attributes);
}

int32_t FileAge(const std::string& fileName) {
  return platform::FileDosDateTime(fileName);
}

bool FileExists(const std::string& fileName) {
  const uint32_t attributes = FileGetAttr(fileName);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) == 0;
}

bool DirectoryExists(const std::string& path) {
  const uint32_t attributes = FileGetAttr(path);
  return attributes != platform::kInvalidAttributes && (attributes & platform::kAttrDirectory) != 0;
}

bool CanChangeToDir(const std::string& path) {
  const std::string previous = platform::CurrentDirectory();
  const bool changed = platform::ChangeDirectory(path);
  // Back where the process was; a directory that vanished meanwhile cannot be returned to.
  (void)platform::ChangeDirectory(previous);
  return changed;
}

bool ForceDirectories(const std::string& path) {
  if (path.empty()) throw EInOutError("Unable to create directory", 3);
  // Walk up to the first ancestor that counts as present, then create downwards from there. A
  // relative path ends its walk at the current directory, so its first part is created as well.
  std::vector<std::string> missing;
  std::string current = path;
  SlashesToBackslashes(current);
  for (;;) {
    if (!current.empty() && current.back() == '\\') current.pop_back();
    if (current.empty() || DirectoryExists(current) || ExtractFilePath(current) == current) break;
    missing.push_back(current);
    current = ExtractFilePath(current);
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!platform::MakeDirectory(*it)) return false;
  }
  return true;
}

bool FileDelete(const std::string& fileName) {
  return platform::RemoveFile(fileName);
}

bool IsRemovableDrive(const std::string& rootPath) {
  const platform::DriveKind kind = platform::DriveKindOf(rootPath);
  return kind == platform::DriveKind::kRemovable || kind == platform::DriveKind::kCdRom;
}

std::string GetVolumeLabel(const std::string& rootPath) {
  return platform::VolumeLabel(rootPath);
}

bool PumpWaitingMessages() {
  return platform::PumpMessages();
}
