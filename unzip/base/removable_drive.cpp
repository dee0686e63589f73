// The drive kinds that take disks changed by hand, from the platform's drive kinds.
#include "unzip/base/removable_drive.h"

#include "platform/files.h"

bool IsRemovableDrive(const std::string& rootPath) {
  const platform::DriveKind kind = platform::DriveKindOf(rootPath);
  return kind == platform::DriveKind::kRemovable || kind == platform::DriveKind::kCdRom;
}
