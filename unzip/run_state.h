// The state of one extraction run of TUnZipper: made when the run starts and gone when it ends,
// so nothing of one run is left over for the next.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "unzip/decoders/entry_decoder.h"
#include "unzip/records/zip_header_info.h"
#include "unzip/unzipper.h"

struct TUnZipper::TRunState {
  std::unique_ptr<TEntryDecoder> Decoder = std::make_unique<TEntryDecoder>();
  std::string BaseDir;              // DestDir, or the current directory when it is empty
  std::vector<bool> UnsafeEntries;  // by list index
  std::string LastMadeDirectory;    // output directory known to exist
  int64_t RunTotalBytes = 0;        // less the entries given up
  int64_t RunBytesDone = 0;
  int ExtractedCount = 0;

  // The entry being processed.
  std::unique_ptr<TZipHeaderInfo> WorkEntry;  // its working copy; the list entry stays as read
  bool RetryEntry = false;
  std::string OutputPath;  // a file entry's output file
  // What was at OutputPath before the entry (a link is not followed).
  platform::PathKind Existing = platform::PathKind::kMissing;
  // The file the entry is written to: OutputPath itself, or a new name beside the file it is to
  // replace once it checks out.
  std::string WritePath;
  std::string EntryTargetDir;  // its destination directory, ending in "\"
};
