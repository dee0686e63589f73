// The names the updater keeps for its own files in the program directory: one list, which every
// step that creates, checks or refuses one of them reads (the updater, and update-pack). An archive
// may not bring any of them at the top of its tree, in any letter case.
#pragma once

#include <string>
#include <string_view>

namespace own_names {

inline constexpr char kStaging[] = ".update-staging";  // the new tree, before the commit
inline constexpr char kBackup[] = ".update-backup";    // the old tree, during the commit
inline constexpr char kJournal[] = ".update-journal";  // the transaction's record
inline constexpr char kJournalDraft[] = ".update-journal.new";
inline constexpr char kLock[] = ".update-lock";  // one updater per program directory
inline constexpr char kLog[] = "update.log";
inline constexpr char kLogDraft[] = "update.log.new";  // the log's tail, while it is cut
inline constexpr char kResult[] = "update.result";     // what the last run did
inline constexpr char kResultDraft[] = "update.result.new";

// The installed release's record: an archive brings it at its top like a file, and it is placed
// with the tree; a release may not remove it.
inline constexpr char kRelease[] = ".update-release";

// Whether the first component of `relativePath` ("\" or "/" separated) is one of the names
// above, compared without regard to ASCII letter case.
bool IsOwnName(std::string_view relativePath);

// The updater's program as it is shipped, on Windows and on Linux.
inline constexpr char kProgram[] = "update.exe";
inline constexpr char kProgramLinux[] = "update";

// Whether a release must never remove `relativePath`: one of the names above (with the record),
// or, at the top, the updater's program or its key "update.pub" (any letter case). A release
// may bring them; removing the updater would have every installation refuse the package, and
// removing the key would turn the signature check off.
bool IsNeverRemoved(std::string_view relativePath);

}  // namespace own_names
