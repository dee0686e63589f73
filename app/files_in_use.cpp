// Files of the program held open by other programs: the check before closing, renames that wait
// out a passing lock, the repeated-failure sentence.
#include "app/files_in_use.h"

#include <algorithm>
#include <thread>

#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/process_name_match.h"
#include "platform/processes.h"

namespace files_in_use {
namespace {

// The main program's own executable: a target at the top of the program directory answering to
// its name.
bool IsMainExecutable(const std::string& appDir, const std::string& target,
                      const std::string& mainExeName) {
  return platform::ExtractFilePath(target).empty() &&
         platform::ProcessNameMatches(appDir + target, mainExeName);
}

std::string HolderName(const platform::FileHolder& holder) {
  if (!holder.Name.empty()) return holder.Name;
  const std::string file =
      holder.Executable.substr(platform::ExtractFilePath(holder.Executable).size());
  return file.empty() ? "a program" : file;
}

// The holders that the updater does not close itself.
std::vector<platform::FileHolder> Others(const std::vector<platform::FileHolder>& holders,
                                         const std::string& mainExeName) {
  std::vector<platform::FileHolder> others;
  for (const platform::FileHolder& holder : holders) {
    if (holder.Executable.empty() ||
        !platform::ProcessNameMatches(holder.Executable, mainExeName)) {
      others.push_back(holder);
    }
  }
  return others;
}

}  // namespace

std::string HolderText(const std::vector<platform::FileHolder>& holders) {
  if (holders.empty()) return "another program";
  std::string text;
  for (size_t i = 0; i < holders.size(); ++i) {
    if (i > 0) text += i + 1 == holders.size() ? " and " : ", ";
    text += HolderName(holders[i]) + " (process " + std::to_string(holders[i].ProcessId) + ")";
  }
  return text;
}

std::string InUseText(const std::string& file, const std::vector<platform::FileHolder>& holders) {
  return platform::DisplayPath(file) + " is in use by " + HolderText(holders);
}

std::string CheckFilesInUse(const std::string& appDir,
                            const std::vector<std::string>& relativeTargets,
                            const std::string& mainExeName) {
  std::vector<std::string> held;
  std::vector<std::string> heldPaths;
  for (const std::string& target : relativeTargets) {
    if (IsMainExecutable(appDir, target, mainExeName)) continue;
    if (platform::ProbeRename(appDir + target) != platform::RenameProbe::kHeld) continue;
    held.push_back(target);
    heldPaths.push_back(appDir + target);
  }
  if (held.empty()) return "";
  const std::vector<std::vector<platform::FileHolder>> holders = platform::FileHolders(heldPaths);
  const std::vector<int> mainIds = platform::FindProcessIDs(mainExeName);
  std::string first;
  size_t count = 0;
  for (size_t i = 0; i < held.size(); ++i) {
    const std::vector<platform::FileHolder> others = Others(holders[i], mainExeName);
    // Named: only the main program's processes are left to its closing. Nobody named: the main
    // program's handles say whether it is among the holders; when they cannot, it may be.
    if (holders[i].empty() ? !mainIds.empty() && platform::ProcessesHoldFile(
                                                     mainIds, heldPaths[i]) != platform::HeldBy::kNo
                           : others.empty()) {
      continue;
    }
    if (count++ == 0) first = InUseText(held[i], others);
  }
  if (count == 0) return "";
  const std::string refusal = "The update was not applied: " + first;
  if (count == 1) return refusal + ". Close it and start the update again.";
  return refusal + ", and " + std::to_string(count - 1) +
         (count == 2 ? " more file is" : " more files are") +
         " in use as well. Close the programs using them and start the update again.";
}

bool RenameWaitingOutLocks(const TRename& rename, const std::string& from, const std::string& to,
                           const std::string& shownFile, TLockWaits& waits) {
  std::chrono::milliseconds wait = TLockWaits::kFirstWait;
  for (;;) {
    if (rename(from, to)) return true;
    if (!waits.IsPassingLock || !waits.IsPassingLock(platform::LastError().code, from)) {
      return false;
    }
    if (waits.remaining_.count() <= 0) break;
    const std::string text = "Waiting for " + platform::DisplayPath(shownFile) +
                             ", which another program is using\xE2\x80\xA6";
    // Spent whole, however short the sleeps turn out: the budget bounds the tries, not a clock.
    std::chrono::milliseconds left = std::min(wait, waits.remaining_);
    waits.remaining_ -= left;
    while (left.count() > 0) {
      if (waits.OnWait) waits.OnWait(text);
      const std::chrono::milliseconds slice = std::min(left, TLockWaits::kWaitSlice);
      std::this_thread::sleep_for(slice);
      left -= slice;
    }
    wait = std::min(wait * 2, TLockWaits::kLongestWait);
  }
  // The holders of either side: the lock may be on the file moved or on the one it replaces.
  std::vector<platform::FileHolder> holders;
  for (const std::vector<platform::FileHolder>& side : platform::FileHolders({from, to})) {
    for (const platform::FileHolder& holder : side) {
      const bool known = std::any_of(holders.begin(), holders.end(), [&](const auto& other) {
        return other.ProcessId == holder.ProcessId;
      });
      if (!known) holders.push_back(holder);
    }
  }
  waits.lockedFile_ = shownFile;
  waits.failureText_ = InUseText(shownFile, holders);
  return false;
}

std::string LockFailureLine(const TLockFailure& failure) {
  return failure.ArchiveSha256 + " " + failure.File;
}

bool ParseLockFailure(const std::string& line, TLockFailure* failure) {
  const size_t blank = line.find(' ');
  if (blank == std::string::npos || blank == 0 || blank + 1 == line.size() ||
      line.find_first_of("\r\n") != std::string::npos) {
    return false;
  }
  const std::string digest = line.substr(0, blank);
  if (digest.find_first_not_of("0123456789abcdef") != std::string::npos) return false;
  *failure = {digest, line.substr(blank + 1)};
  return true;
}

std::string RepeatedLockFailureText(const TLockFailure& previous, const TLockFailure& current) {
  if (current.ArchiveSha256.empty() || current.File.empty() || !(previous == current)) return "";
  return "this update has failed twice because " + platform::DisplayPath(current.File) +
         " is in use";
}

}  // namespace files_in_use
