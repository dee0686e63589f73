// The checks of the archive's directory before closing.
#include "app/archive_check.h"

#include <algorithm>
#include <set>
#include <string_view>

#include "app/app_paths.h"
#include "platform/ascii_case.h"
#include "platform/checked_math.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/path_text.h"
#include "release/own_names.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/damaged_archive_text.h"
#include "unzip/entry_destination.h"
#include "unzip/unzipper.h"

std::string NotAppliedText(const std::string& why) {
  return "The update was not applied: " + why + ".";
}

std::string UpdatePathProblem(const std::string& written) {
  if (platform::HasControlCharacter(written)) return "its name holds a control character";
  if (!platform::IsPlainRelativePath(written)) {
    return "its name is not a plain path in the program directory (an empty, \".\" or \"..\" "
           "part, or a character no file name may hold)";
  }
  if (own_names::IsOwnName(written)) return "the name is kept for the updater's own files";
  return "";
}

std::string NotCheckedText(const std::string& reason) {
  return NotAppliedText("it could not be checked (" + reason + ")");
}

namespace {

constexpr int64_t kMegabyte = 1024 * 1024;
constexpr int64_t kSpaceMarginDivisor = 100;
// The bytes of a journal's line beside the names it holds ("file ", the tabs, "old").
constexpr size_t kJournalLineWords = 16;

// Why the entry cannot be applied; empty when it can.
std::string EntryProblem(const std::string& appDir, const TZipHeaderInfo& entry) {
  const std::string name = entry.Directory + entry.FileName;
  if (platform::HasControlCharacter(name)) return "its name holds a control character";
  // A stored path from the root or a drive is read with a warning (and re-rooted): an update is
  // applied only as its publisher built it.
  if (entry.HasAbsoluteDirectory()) return "its name is an absolute path";
  // What the extraction would refuse after closing is refused now.
  if ((entry.Flags & kFlagStrongEncryption) != 0) {
    return "it is encrypted with PKWARE strong encryption, which the updater does not read";
  }
  if (entry.IsEncrypted()) return "it is encrypted, and the updater has no password";
  if (!entry.StandsForDirectory() && !TUnZipper::DecodesMethod(entry.EffectiveMethod())) {
    return "it is compressed with method " + std::to_string(entry.EffectiveMethod()) +
           ", which the updater does not read";
  }
  // Where the extraction would put it, by the component's own rule.
  const std::string base = platform::WithoutTrailingBackslash(appDir);
  const std::string destination = EntryDestinationDir(base, entry.Directory, true, {});
  const bool isFile = !entry.StandsForDirectory();
  const std::string path = isFile                   ? destination + entry.FileName
                           : entry.FileName.empty() ? destination
                                                    : destination + entry.FileName + "\\";
  if (IsUnsafeOutputPath(base, path, isFile)) {
    return "its name points outside the program directory";
  }
  // The path as the commit will place it, under the rule it places by.
  const std::string written = path.substr(base.size() + 1);
  const std::string problem = UpdatePathProblem(written);
  if (!problem.empty()) return problem;
  // The release record is one file at the top, in that spelling: anything else of its name
  // would stand where the installed record is read.
  const std::string_view top = std::string_view(written).substr(0, written.find('\\'));
  if (platform::EqualsIgnoringAsciiCase(top, own_names::kRelease) &&
      (written != own_names::kRelease || !isFile)) {
    return "the name is kept for the release record";
  }
  return "";
}

// The archive's one top folder when every entry lies under it ("myapp-2.0\"), else empty.
std::string CommonTopFolder(TUnZipper& directory) {
  std::string top;
  for (int i = 0; i < directory.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *directory.SortedEntries->Items(i);
    const std::string name = entry.Directory + entry.FileName;
    const size_t cut = name.find('\\');
    if (cut == std::string::npos) return "";  // a file at the top
    const std::string first = name.substr(0, cut + 1);
    if (!top.empty() && first != top) return "";
    top = first;
  }
  return top;
}

bool HoldsEntry(TUnZipper& directory, const std::string& path) {
  for (int i = 0; i < directory.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *directory.SortedEntries->Items(i);
    if (platform::EqualsIgnoringAsciiCase(entry.Directory + entry.FileName, path)) return true;
  }
  return false;
}

// Every entry checked (EntryProblem), the room the new tree takes counted into `neededBytes`,
// and the paths of the files and directories it makes listed.
TRefusal CheckEntries(TUnZipper& directory, const std::string& appDir, int64_t* neededBytes,
                      std::vector<std::string>* files, std::vector<std::string>* directories) {
  // Each file takes whole allocation units; a volume that does not tell counts bytes.
  const int64_t unit =
      std::max<int64_t>(1, platform::VolumeClusterSize(platform::WithoutTrailingBackslash(appDir)));
  int64_t needed = 0;
  for (int i = 0; i < directory.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *directory.SortedEntries->Items(i);
    const std::string problem = EntryProblem(appDir, entry);
    if (!problem.empty()) {
      return {NotAppliedText(std::string(kArchiveName) + " holds " + entry.Directory +
                             entry.FileName + ", which cannot be applied: " + problem),
              true};
    }
    const int64_t size = platform::ClampToInt64(entry.GetUncompressedSize64());
    needed =
        platform::SaturatingAdd(needed, platform::SaturatingAdd(size, (unit - size % unit) % unit));
    // The journal names the file twice, with a few words around.
    needed = platform::SaturatingAdd(
        needed, static_cast<int64_t>(2 * (entry.Directory.size() + entry.FileName.size()) +
                                     kJournalLineWords));
    if (entry.StandsForDirectory()) {
      directories->push_back(entry.DirectoryPath());
    } else {
      files->push_back(entry.Directory + entry.FileName);
    }
  }
  *neededBytes = needed;
  return {};
}

}  // namespace

TRefusal CheckArchiveDirectory(TUnZipper& directory, const std::string& appDir,
                               const std::string& zipFileName, const std::string& mainExeName,
                               bool signatureRequired, int64_t* neededBytes,
                               std::vector<std::string>* files,
                               std::vector<std::string>* directories) {
  const std::string oneFile = "signed updates are one file, and ";
  if (signatureRequired &&
      platform::LinkFreeKind(CompanionFileName(zipFileName)) != platform::PathKind::kMissing) {
    return {NotAppliedText(oneFile + platform::DisplayPath(CompanionFileName(zipFileName)) +
                           " lies beside " + kArchiveName),
            true};
  }
  try {
    directory.SetZipName(zipFileName);
    directory.LoadDirectory();
  } catch (const EIncompleteZip&) {
    return {NotAppliedText(signatureRequired ? oneFile + kArchiveName +
                                                   " needs the other parts of a split archive"
                                             : MissingEndRecordText(zipFileName, kArchiveName)),
            true};
  } catch (const std::exception& e) {
    return {NotAppliedText(std::string(kArchiveName) + " cannot be read as a ZIP archive (" +
                           e.what() + ")"),
            true};
  }
  if (signatureRequired && directory.EndRecord->GetThisDisk32() != 0) {
    return {NotAppliedText(oneFile + kArchiveName + " is a part of a split archive"), true};
  }
  // A directory that had to be rebuilt from the entries' own headers may have lost entries: a
  // damaged download is never applied as if it were whole.
  if (directory.ImproperArchive || directory.ArchiveIsBad) {
    const std::string why = RebuildReasonText(directory.RebuildReason);
    return {NotAppliedText(std::string(kArchiveName) + " is damaged (its directory had to be " +
                           "rebuilt" + (why.empty() ? "" : ": " + why) + ")"),
            true};
  }
  if (directory.EntryCount() == 0) {
    return {NotAppliedText(std::string(kArchiveName) + " holds no files"), true};
  }
  if (directory.EntryCount() > kMaxUpdateEntries) {
    return {NotAppliedText(std::string(kArchiveName) + " holds " +
                           std::to_string(directory.EntryCount()) + " entries; an update holds " +
                           std::to_string(kMaxUpdateEntries) + " at most"),
            true};
  }
  const TRefusal entries = CheckEntries(directory, appDir, neededBytes, files, directories);
  if (!entries.Passed()) return entries;
  // A release folder zipped from outside: applied as it is, it would land in a sub-folder and
  // the program would start unchanged.
  const std::string top = CommonTopFolder(directory);
  if (!top.empty() && !platform::DirectoryExists(appDir + top) &&
      (HoldsEntry(directory, top + mainExeName) || HoldsEntry(directory, top + kDefaultMainExe))) {
    std::string shown = top;
    shown.back() = '/';
    return {NotAppliedText(std::string(kArchiveName) + " holds its files under " + shown +
                           "; build it from inside that folder"),
            true};
  }
  return {};
}

TRefusal CheckRoom(const std::string& appDir, int64_t neededBytes) {
  const int64_t needed = platform::SaturatingAdd(
      platform::SaturatingAdd(neededBytes, neededBytes / kSpaceMarginDivisor), kMegabyte);
  const std::string dir = platform::WithoutTrailingBackslash(appDir);
  const int64_t available = platform::FreeDiskSpace(dir);
  if (available < 0 || available >= needed) return {};
  const int64_t neededMb = needed / kMegabyte + (needed % kMegabyte != 0 ? 1 : 0);
  return {"The update needs " + std::to_string(neededMb) + " MB on the volume of " +
              platform::DisplayPath(dir) + ", but only " + std::to_string(available / kMegabyte) +
              " MB are free; the update was not applied.",
          false};
}
