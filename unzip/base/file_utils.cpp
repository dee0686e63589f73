// File and directory routines over the platform file layer.
#include "unzip/base/file_utils.h"

#include "platform/exceptions.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/message_pump.h"

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
  return platform::FileExists(fileName);
}

bool DirectoryExists(const std::string& path) {
  return platform::DirectoryExists(path);
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
  return platform::MakeDirectories(path);
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
