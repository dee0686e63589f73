// Reading the hand-over file and settling the main program's name.
#include "app/run/read_hand_over.h"

#include <chrono>
#include <thread>

#include "app/app_paths.h"
#include "app/hand_over_file.h"
#include "platform/ascii_case.h"
#include "platform/error_text.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "platform/temporary_tree.h"
#include "unzip/base/unzip_exceptions.h"

namespace {

// A hand-over file that cannot be opened is tried again this often, this long: its writer, the
// main program, is usually just exiting.
constexpr auto kHandOverRetryPause = std::chrono::milliseconds(100);
constexpr auto kHandOverRetryTime = std::chrono::seconds(1);

// `name` as the program directory spells it: a name that matches no file exactly but exactly one
// file of the directory with the ASCII letters in another case is that file (a program that
// wrote its name as Windows would let it, on a file system that tells cases apart); else `name`.
std::string SpelledAsOnDisk(const std::string& name, const std::string& appDir) {
  if (platform::LinkFreeKind(appDir + name) != platform::PathKind::kMissing) return name;
  std::string found;
  for (const std::string& path : platform::ListDirectoryTree(appDir)) {
    if (path.find('\\') != std::string::npos || !platform::EqualsIgnoringAsciiCase(path, name)) {
      continue;
    }
    if (!found.empty()) return name;  // two candidates: none is taken
    found = path;
  }
  return found.empty() ? name : found;
}

// Empty when the directories on the way to `relative` (a plain relative path) are directories or
// missing; else the first that is a link, a special file or cannot be looked at.
std::string LinkOnTheWayTo(const std::string& appDir, const std::string& relative) {
  for (size_t cut = relative.find('\\'); cut != std::string::npos;
       cut = relative.find('\\', cut + 1)) {
    const std::string dir = relative.substr(0, cut);
    const platform::PathKind kind = platform::LinkFreeKind(appDir + dir);
    if (kind == platform::PathKind::kMissing) return "";
    if (kind != platform::PathKind::kDirectory) return dir;
  }
  return "";
}

// The main program's name from what the hand-over file names: a bare file name as it stands; a
// path (full, or relative to the program directory) as its file name when it leads into the
// program directory; a plain relative path ("bin\MyApp.exe") as it stands when no link lies on
// its way. Empty, with `refusal` set, for anything else: the name is used to close, replace and
// start a file, so it never leads out of the program directory.
std::string ProgramName(const std::string& named, const std::string& appDir, std::string* refusal) {
  const std::string prefix = std::string(kHandOverFile) + " names " + named + ", which ";
  if (platform::IsBareFileName(named)) return SpelledAsOnDisk(named, appDir);
  std::string path = named;
  platform::SlashesToBackslashes(path);
  const std::string dir = platform::ExtractFilePath(path);
  const std::string name = path.substr(dir.size());
  if (!platform::IsBareFileName(name)) {
    *refusal = prefix + "is not a file name";
    return "";
  }
  const bool absolute = dir[0] == '\\' || (dir.size() >= 2 && dir[1] == ':');
  const std::string expanded = platform::ExpandFileName(absolute ? dir : appDir + dir);
  if (!expanded.empty() && platform::SameFile(platform::WithoutTrailingBackslash(expanded),
                                              platform::WithoutTrailingBackslash(appDir))) {
    return SpelledAsOnDisk(name, appDir);
  }
  if (absolute || !platform::IsPlainRelativePath(path)) {
    *refusal = prefix + "is not in the program directory; name the program by its file name, " +
               "or by its path below the program directory";
    return "";
  }
  const std::string link = LinkOnTheWayTo(appDir, path);
  if (!link.empty()) {
    *refusal = prefix + "lies behind " + link +
               ", a link or special file; the updater does not follow links";
    return "";
  }
  return path;
}

// The lines of the hand-over file at `path`, which is there; raises when it cannot be read.
std::vector<std::string> ReadLines(const TRunContext& run, const std::string& path) {
  const platform::PathKind kind = platform::KindOfPath(path);
  if (kind == platform::PathKind::kUnknown) {
    throw EStreamError(std::string(kHandOverFile) +
                       " cannot be read: " + platform::SystemErrorText(platform::LastError().code));
  }
  if (kind != platform::PathKind::kFile) {
    throw EStreamError(std::string(kHandOverFile) + " is " + platform::PathKindText(kind) +
                       ", not a regular file");
  }
  const auto start = std::chrono::steady_clock::now();
  for (;;) {
    try {
      return LoadLines(path);
    } catch (const EFOpenError&) {
      if (std::chrono::steady_clock::now() - start >= kHandOverRetryTime) throw;
    }
    run.Pump();
    std::this_thread::sleep_for(kHandOverRetryPause);
  }
}

}  // namespace

void ReadHandOverFile(const TRunContext& run, const update_transaction::TRecovery& recovery,
                      bool archiveWaits, THandOver* handOver) {
  const std::string path = run.AppDir + kHandOverFile;
  // Present is anything but "no such file": a link that leads nowhere, a FIFO or a file that
  // cannot be read is a hand-over that failed, not an absent one.
  handOver->Present = platform::LinkFreeKind(path) != platform::PathKind::kMissing;
  if (handOver->Present) handOver->Lines = ReadLines(run, path);
  // Without a hand-over file, a journal's name stands in while its archive waits, or for the
  // relaunch after an update it applied; otherwise the default does.
  std::string name;
  if (handOver->Lines.empty() && !recovery.MainExeName.empty() &&
      (archiveWaits || update_transaction::UpdateCommitted(run.AppDir))) {
    name = recovery.MainExeName;
  } else {
    std::string refusal;
    name = ProgramName(MainExeNameFrom(handOver->Lines), run.AppDir, &refusal);
    if (!refusal.empty()) throw EStreamError(refusal);
    // A program that forgot to write its name is not taken for "main.exe" when there is none:
    // the program that started the updater would be left running while its files are replaced.
    const bool named = !handOver->Lines.empty() && !TrimBlanks(handOver->Lines[0]).empty();
    if (archiveWaits && !named &&
        platform::LinkFreeKind(run.AppDir + kDefaultMainExe) == platform::PathKind::kMissing) {
      throw EStreamError(std::string(kHandOverFile) +
                         (handOver->Present ? " names no program" : " is missing") + ", and no " +
                         kDefaultMainExe + " lies in the program directory: the program to " +
                         "close is not known");
    }
  }
  // Started as the program, the updater would run again and again; closing it would close
  // the updater itself.
  if (IsUpdaterName(name)) {
    throw EStreamError(std::string(kHandOverFile) + " names " + name +
                       ", which is the updater, not the program");
  }
  handOver->MainExeName = name;
}
