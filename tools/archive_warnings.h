// What unzipper says about an archive that could be read only with repairs: a directory rebuilt
// from the local headers (and why), absolute or drive-letter paths placed below the destination,
// data descriptors cut off.
#pragma once

#include <string>

#include "unzip/unzipper.h"

// The entry's stored path with "/" separators, as archives write it.
std::string DisplayName(const TZipHeaderInfo& entry);

// Prints a warning line on stderr for each repair the archive needed (with `chosenOnly`, only
// for entries chosen in the last run); true when there was one. `typed` is the archive as the
// user wrote it.
bool ReportArchiveWarnings(TUnZipper& zipper, const std::string& typed, bool chosenOnly);
