// The plan of a package: the whole tree, or the changes between two releases' trees.
#include "tools/update_pack_diff.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>
#include <utility>

#include "platform/ascii_case.h"
#include "platform/files.h"
#include "release/own_names.h"

namespace {

constexpr int32_t kCompareBlock = 256 * 1024;

// The path of an item as Windows compares names: without a directory's final "/", and with
// ASCII letters in one case.
std::string FoldedPath(const std::string& path) {
  std::string folded = platform::LowerCaseAscii(path);
  if (!folded.empty() && folded.back() == '/') folded.pop_back();
  return folded;
}

bool CannotRead(const std::string& path, std::string* reason) {
  *reason = platform::DisplayPath(path) +
            " cannot be read: " + platform::SystemErrorText(platform::LastError().code);
  return false;
}

// Whether the two files (of one size) hold the same bytes.
bool SameContent(const TReleaseItem& a, const TReleaseItem& b,
                 const std::function<void(uint64_t)>& progress, bool* same, std::string* reason) {
  platform::File fileA = platform::File::Open(a.SourcePath, platform::kOpenRead);
  if (!fileA.IsOpen()) return CannotRead(a.SourcePath, reason);
  platform::File fileB = platform::File::Open(b.SourcePath, platform::kOpenRead);
  if (!fileB.IsOpen()) return CannotRead(b.SourcePath, reason);
  std::vector<char> blockA(kCompareBlock);
  std::vector<char> blockB(kCompareBlock);
  for (;;) {
    const int32_t gotA = fileA.Read(blockA.data(), kCompareBlock);
    if (gotA < 0) return CannotRead(a.SourcePath, reason);
    const int32_t gotB = fileB.Read(blockB.data(), kCompareBlock);
    if (gotB < 0) return CannotRead(b.SourcePath, reason);
    if (progress) progress(static_cast<uint64_t>(gotA));
    if (gotA != gotB || std::memcmp(blockA.data(), blockB.data(), static_cast<size_t>(gotA)) != 0) {
      *same = false;
      return true;
    }
    if (gotA == 0) {
      *same = true;
      return true;
    }
  }
}

}  // namespace

bool CheckLetterCase(const std::vector<TReleaseItem>& tree, const std::string& root,
                     std::string* reason) {
  std::vector<std::pair<std::string, const std::string*>> folded;
  folded.reserve(tree.size());
  for (const TReleaseItem& item : tree) folded.emplace_back(FoldedPath(item.Path), &item.Path);
  std::sort(folded.begin(), folded.end());
  for (size_t i = 1; i < folded.size(); ++i) {
    if (folded[i].first == folded[i - 1].first) {
      *reason = platform::DisplayPath(root) + " holds " + *folded[i - 1].second + " and " +
                *folded[i].second +
                ", whose names differ only in letter case: Windows cannot hold both";
      return false;
    }
  }
  return true;
}

TPackPlan PlanFullPackage(const std::vector<TReleaseItem>& tree) {
  TPackPlan plan;
  for (const TReleaseItem& item : tree) {
    if (!item.IsDirectory || item.IsEmpty) plan.Entries.push_back(&item);
  }
  return plan;
}

bool PlanChangesOnly(const std::vector<TReleaseItem>& newTree,
                     const std::vector<TReleaseItem>& oldTree,
                     const std::function<void(uint64_t)>& progress, TPackPlan* plan,
                     std::string* reason) {
  *plan = TPackPlan();
  std::unordered_map<std::string, const TReleaseItem*> oldItems;
  for (const TReleaseItem& item : oldTree) oldItems.emplace(item.Path, &item);
  std::unordered_map<std::string, const std::string*> newFolded;
  for (const TReleaseItem& item : newTree) {
    newFolded.emplace(FoldedPath(item.Path), &item.Path);
    const auto old = oldItems.find(item.Path);
    const TReleaseItem* before = old == oldItems.end() ? nullptr : old->second;
    if (item.IsDirectory) {
      // A file's directories come with it. An empty one comes as an entry unless the old tree
      // has it empty too: the updater keeps what the archive holds, where the removals would
      // otherwise take a directory they empty.
      if (item.IsEmpty && (before == nullptr || !before->IsEmpty)) plan->Entries.push_back(&item);
      continue;
    }
    bool same =
        before != nullptr && before->Size == item.Size && before->Permissions == item.Permissions;
    if (same && !SameContent(item, *before, progress, &same, reason)) return false;
    if (same) {
      ++plan->UnchangedFiles;
    } else {
      plan->Entries.push_back(&item);
    }
  }
  std::unordered_map<std::string, bool> newPaths;
  for (const TReleaseItem& item : newTree) newPaths.emplace(item.Path, true);
  for (const TReleaseItem& item : oldTree) {
    if (item.IsDirectory || newPaths.count(item.Path) != 0) continue;
    if (own_names::IsNeverRemoved(item.Path)) {
      plan->Notes.push_back(item.Path +
                            " is not removed: it is the updater's own file, which a package never "
                            "removes");
      continue;
    }
    const auto twin = newFolded.find(FoldedPath(item.Path));
    if (twin != newFolded.end()) {
      plan->Notes.push_back(item.Path + " is not removed: " + *twin->second +
                            " takes its place, and on Windows, which does not tell the two "
                            "apart, removing one would remove the other");
      continue;
    }
    plan->Removals.push_back(item.Path);
  }
  return true;
}
