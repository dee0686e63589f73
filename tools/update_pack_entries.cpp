// The words for an update archive's entries.
#include "tools/update_pack_entries.h"

std::string Counted(uint64_t count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string EntriesText(bool record, uint64_t files, uint64_t directories) {
  const uint64_t entries = (record ? 1 : 0) + files + directories;
  return Counted(entries, "entry", "entries") + " (" + (record ? "the release record, " : "") +
         Counted(files, "file", "files") + ", " + Counted(directories, "directory", "directories") +
         ")";
}
