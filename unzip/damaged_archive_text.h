// The component's words for a damaged archive, one wording for every caller (unzipper, the
// updater): why its directory was rebuilt, and what a file without an end record is.
#pragma once

#include <string>

#include "unzip/unzipper.h"

// Why the directory was rebuilt from the local headers, as the end of a sentence: "its end record
// claims more entries than the archive can hold"; empty for rrNone.
std::string RebuildReasonText(TRebuildReason reason);

// What the file at `path` is when no end record was found in it (EIncompleteZip), named as
// `shownName`: one that opens as a ZIP archive does "is incomplete or damaged: its end record is
// missing (a download cut short?)", the first part of a split archive is named as such, and any
// other file "is not a ZIP archive".
std::string MissingEndRecordText(const std::string& path, const std::string& shownName);
