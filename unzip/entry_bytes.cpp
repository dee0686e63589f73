// Reading one entry into memory through a scratch extraction.
#include "unzip/entry_bytes.h"

#include <vector>

#include "platform/ascii_case.h"
#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "unzip/base/restore_on_exit.h"
#include "unzip/unzipper.h"

namespace {

// The whole of the regular file at `path` when it holds at most `maxSize` bytes.
bool ReadWholeFile(const std::string& path, uint64_t maxSize, std::string* bytes,
                   std::string* reason) {
  platform::File file = platform::File::Open(path, platform::kOpenRead | platform::kOpenNoLinks);
  const int64_t size = file.IsOpen() ? file.Size() : -1;
  if (size < 0) {
    *reason = "it was not written";
    return false;
  }
  if (static_cast<uint64_t>(size) > maxSize) {
    *reason = "it is larger than " + std::to_string(maxSize) + " bytes";
    return false;
  }
  bytes->assign(static_cast<size_t>(size), '\0');
  if (size > 0 && file.Read(bytes->data(), static_cast<int32_t>(size)) != size) {
    *reason = "it could not be read back";
    return false;
  }
  return true;
}

}  // namespace

bool ExtractEntryBytes(TUnZipper& zipper, int index, uint64_t maxSize, std::string* bytes,
                       std::string* reason) {
  const TZipHeaderInfo& entry = *zipper.SortedEntries->Items(index);
  if (entry.FileName.empty()) {
    *reason = "it is a directory";
    return false;
  }
  if (entry.GetUncompressedSize64() > maxSize) {
    *reason = "it is larger than " + std::to_string(maxSize) + " bytes";
    return false;
  }
  const std::string scratch = platform::MakeTemporaryDirectory("update-entry-");
  if (scratch.empty()) {
    *reason = "no temporary directory could be made for it";
    return false;
  }
  const std::string name = entry.Directory + entry.FileName;
  const std::string savedDest = zipper.DestDir();
  std::string extractError;
  int extracted = 0;
  {
    TRestoreOnExit<bool> doAll(zipper.DoAll, false);
    TRestoreOnExit<TUZOverwriteMode> overwrite(zipper.OverwriteMode, Always);
    TRestoreOnExit<std::vector<std::string>> chosen(zipper.FilesList, {name});
    try {
      zipper.SetDestDir(scratch);
      extracted = zipper.UnZip();
    } catch (const std::exception& e) {
      extractError = e.what();
    }
    zipper.SetDestDir(savedDest);
  }
  bool read = false;
  if (!extractError.empty()) {
    *reason = "it could not be extracted (" + extractError + ")";
  } else if (extracted != 1) {
    *reason = "it could not be extracted whole";
  } else {
    read = ReadWholeFile(scratch + "\\" + name, maxSize, bytes, reason);
  }
  (void)platform::RemoveDirectoryTree(scratch);  // a scratch copy; the archive is untouched
  return read;
}

int FindTopLevelEntry(const TUnZipper& zipper, std::string_view name) {
  int found = -1;
  for (int i = 0; i < zipper.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *zipper.SortedEntries->Items(i);
    if (!entry.Directory.empty() || !platform::EqualsIgnoringAsciiCase(entry.FileName, name)) {
      continue;
    }
    if (found >= 0 || entry.FileName != name) return -2;
    found = i;
  }
  return found;
}
