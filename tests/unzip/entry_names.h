// The names (directory + file name) of a component's entries, in the order of its sorted view.
#pragma once

#include <string>
#include <vector>

#include "unzip/unzipper.h"

namespace test {

inline std::vector<std::string> EntryNames(TUnZipper& zip) {
  std::vector<std::string> names;
  for (int i = 0; i < zip.EntryCount(); ++i) {
    const TZipHeaderInfo* entry = zip.SortedEntries->Items(i);
    names.push_back(entry->Directory + entry->FileName);
  }
  return names;
}

}  // namespace test
