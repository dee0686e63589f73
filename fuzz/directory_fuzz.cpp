// Fuzz target: the directory reader on arbitrary archive bytes. The input is written to a file
// that the component opens as its archive; every mode of handling an incomplete archive is tried,
// and every comment is read.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/exceptions.h"
#include "unzip/unzipper.h"

namespace {

const std::string& ArchivePath() {
  static const std::string path = "/tmp/directory-fuzz-" + std::to_string(getpid()) + ".zip";
  return path;
}

void ReadEverything(TUnZipper& zip) {
  zip.LoadDirectory();
  for (int i = 0; i < zip.EntryCount(); ++i) {
    zip.EntryFileName(i);
    zip.EntryComment(i);
  }
  zip.ArchiveComment();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FILE* file = std::fopen(ArchivePath().c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  for (TIncompleteZipMode mode : {izAssumeMulti, izAssumeBad, izAssumeNotAZip}) {
    TUnZipper zip;
    zip.IncompleteZipMode = mode;
    zip.SortMode = size % 2 == 0 ? ByNone : ByName;
    // Parts of a multi-part archive are never there: a request for one ends the read.
    zip.OnGetNextDisk = [](TUnZipper*, int, std::string& name) { name.clear(); };
    zip.SetZipName(ArchivePath());
    try {
      ReadEverything(zip);
    } catch (const Exception&) {
      // Refusing bad input with the component's errors is the expected outcome.
    }
  }
  return 0;
}
