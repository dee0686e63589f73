// What the archive's directory tells before anything is closed: whether the archive can be
// applied at all (a ZIP archive, whole, not empty, every entry a name the update may write, not a
// release folder zipped from outside, one file when it is signed), and the room its new tree
// needs on the volume.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TUnZipper;

// A check's refusal: the box's text, and whether the archive can never be applied as it is (it
// is then set aside, so that it is not offered again).
struct TRefusal {
  std::string Text;  // empty: the check passed
  bool Permanent = false;
  // A package of changes for a release other than the one installed: a full package applies.
  bool NeedsFull = false;
  bool Passed() const { return Text.empty(); }
};

// A refusal's text, as the box and update.log say it: "The update was not applied: <why>."
std::string NotAppliedText(const std::string& why);
// A check that could not run refuses: "The update was not applied: it could not be checked
// (<reason>)."
std::string NotCheckedText(const std::string& reason);

// Why an update may not write the path `written` (relative to the program directory, "\"
// separated, a directory ending in "\"), empty when it may: a name with a control character, one
// that is not a plain relative path (an empty, "." or ".." part, a drive, a ":"), or one of the
// updater's own names at the top. The one rule that the checks before closing and the commit's
// plan both ask, so that nothing is refused after closing that could have been refused before.
std::string UpdatePathProblem(const std::string& written);

// The most entries an update may hold: its directory stays within a few hundred MB of memory,
// and its journal, for names of common length, within what a journal may hold.
inline constexpr int kMaxUpdateEntries = 1000000;

// Reads the directory of the archive at `zipFileName` into `directory` (in the program directory
// `appDir`, which ends in "\") and checks it for an update of the main program `mainExeName`.
// The directory stays loaded for the extraction: it is read once in a run (the caller settles
// whether `directory` keeps the archive open, asks questions and pumps messages). On success
// `neededBytes` is the room the new tree takes on the volume (each file rounded up to the
// volume's allocation unit) with its journal, `files` the paths of its files relative to the
// program directory ("data\x.txt"), and `directories` those of its directory entries
// ("data\logs\").
TRefusal CheckArchiveDirectory(TUnZipper& directory, const std::string& appDir,
                               const std::string& zipFileName, const std::string& mainExeName,
                               bool signatureRequired, int64_t* neededBytes,
                               std::vector<std::string>* files,
                               std::vector<std::string>* directories);

// Whether the volume of `appDir` has room for a new tree of `neededBytes`, which is staged
// before the old one moves, plus 1% and 1 MB for the directories and the file system's own
// bookkeeping. A volume whose room cannot be told passes: the extraction finds out.
TRefusal CheckRoom(const std::string& appDir, int64_t neededBytes);
