// Warnings about archives that needed repairs to be read.
#include "tools/archive_warnings.h"

#include <cstdio>

#include "unzip/cut_off_descriptors.h"
#include "unzip/damaged_archive_text.h"

std::string DisplayName(const TZipHeaderInfo& entry) {
  std::string name = entry.Directory + entry.FileName;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  return name;
}

bool ReportArchiveWarnings(TUnZipper& zipper, const std::string& typed, bool chosenOnly) {
  bool warned = false;
  if (zipper.ImproperArchive) {
    const std::string why = RebuildReasonText(zipper.RebuildReason);
    std::fprintf(stderr,
                 "warning: %s: the central directory is damaged%s; the entries were found "
                 "through their local headers\n",
                 typed.c_str(), why.empty() ? "" : (" (" + why + ")").c_str());
    warned = true;
  }
  for (int i = 0; i < zipper.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *zipper.SortedEntries->Items(i);
    if (chosenOnly && !entry.Matched) continue;
    if (entry.HasAbsoluteDirectory()) {
      std::fprintf(stderr, "warning: stripped absolute path spec from %s\n",
                   DisplayName(entry).c_str());
      warned = true;
    }
  }
  for (const int i : EntriesWithCutOffDescriptor(zipper)) {
    const TZipHeaderInfo& entry = *zipper.SortedEntries->Items(i);
    if (chosenOnly && !entry.Matched) continue;
    std::fprintf(stderr,
                 "warning: %s: the data descriptor after its data is missing or cut off (the "
                 "archive is damaged; the central directory vouches for the data)\n",
                 DisplayName(entry).c_str());
    warned = true;
  }
  return warned;
}
