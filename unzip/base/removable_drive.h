// Whether an archive lies on a drive whose disks are changed by hand: what tells a set spanned
// over removable disks from one split into files.
#pragma once

#include <string>

// The drive of `rootPath` is removable or a CD drive.
bool IsRemovableDrive(const std::string& rootPath);
