// The component's words for a damaged archive.
#include "unzip/damaged_archive_text.h"

#include <cstdint>

#include "platform/files.h"
#include "unzip/base/zip_format.h"
#include "unzip/records/little_endian.h"

std::string RebuildReasonText(TRebuildReason reason) {
  switch (reason) {
    case rrNone:
      break;
    case rrNoEndRecord:
      return "it has no end record";
    case rrImpossibleCount:
      return "its end record claims more entries than the archive can hold";
    case rrUnreadableHeader:
      return "a central header cannot be read";
    case rrSharedLocalHeader:
      return "two central headers name the same local header";
    case rrEmptyEndRecord:
      return "its end record says the archive is empty, yet entries are stored before it";
  }
  return "";
}

std::string MissingEndRecordText(const std::string& path, const std::string& shownName) {
  // What the file opens with tells a ZIP archive cut short (a download that stopped, a copy
  // that failed) from a file that never was one. A split archive's first part opens with the
  // data descriptor's signature; "PK00" stands before the first local header of an archive that
  // was to be split and was not.
  constexpr uint32_t kUnsplitMarker = 0x30304B50;
  uint8_t start[8] = {};
  platform::File file = platform::File::Open(path, platform::kOpenRead | platform::kShareDenyNone);
  const int32_t got = file.IsOpen() ? file.Read(start, 8) : -1;
  const uint32_t first = got >= 4 ? Le32(start) : 0;
  const uint32_t opening = first == kUnsplitMarker && got == 8 ? Le32(start + 4) : first;
  if (opening == kLocalHeaderSignature) {
    return shownName +
           " is incomplete or damaged: its end record is missing (a download cut short?)";
  }
  if (opening == kDataDescriptorSignature) {
    return shownName +
           " is the first part of a split archive; name its last part, which holds the end record";
  }
  return shownName + " is not a ZIP archive (it has no end record)";
}
