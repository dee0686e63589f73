// What goes into a package: the whole new tree, or only what changed since an older release and
// the files that release had and this one has not.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/update_pack_tree.h"

struct TPackPlan {
  std::vector<const TReleaseItem*> Entries;  // items of the new tree, in path order
  std::vector<std::string> Removals;         // paths of the old tree ("/" separators), in order
  std::vector<std::string> Notes;            // what the publisher should know, in words
  uint64_t UnchangedFiles = 0;
};

// False, with `reason` naming both, when two items of `tree` (below `root`, for the message)
// have paths that differ only in the case of ASCII letters: Windows cannot hold both.
[[nodiscard]] bool CheckLetterCase(const std::vector<TReleaseItem>& tree, const std::string& root,
                                   std::string* reason);

// Every file of `tree` and its empty directories (a file's directories are made for it).
TPackPlan PlanFullPackage(const std::vector<TReleaseItem>& tree);

// The files of `newTree` that `oldTree` lacks or holds with other content or permission bits, its
// empty directories that `oldTree` lacks or holds with something in them, and the removal of every
// file of `oldTree` that `newTree` has not. A removal whose path differs only in letter case from a
// path the new tree has is left out (with a note): on Windows it would remove the new file; so is
// one of the updater's own files (own_names::IsNeverRemoved: its program, its key, its
// bookkeeping). `progress` hears of the bytes compared. False with `reason` when a file could not
// be read.
[[nodiscard]] bool PlanChangesOnly(const std::vector<TReleaseItem>& newTree,
                                   const std::vector<TReleaseItem>& oldTree,
                                   const std::function<void(uint64_t)>& progress, TPackPlan* plan,
                                   std::string* reason);
