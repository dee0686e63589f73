// unzipper l: reads the directory through the component and prints one line per entry.
#include "tools/archive_listing.h"

#include <cinttypes>
#include <cstdio>

#include "platform/dos_date_rule.h"
#include "platform/files.h"
#include "tools/archive_warnings.h"
#include "tools/user_messages.h"
#include "unzip/base/zip_format.h"
#include "unzip/unzipper.h"

namespace {

std::string EncryptionName(const TZipHeaderInfo& entry) {
  if (!entry.IsEncrypted()) return "-";
  switch (entry.EncryptionStrength) {
    case 0:
      return entry.AesInfo ? "AES-?" : "ZipCrypto";
    case kAesStrength128:
      return "AES-128";
    case kAesStrength192:
      return "AES-192";
    case kAesStrength256:
      return "AES-256";
    default:
      return "AES-?";
  }
}

// A size or a CRC as the listing shows it: "?" in its place when the archive does not tell it
// (an entry of a rebuilt directory whose data descriptor was not found).
std::string KnownOrNot(const TZipHeaderInfo& entry, uint64_t value) {
  return entry.SizesUnknown ? "?" : std::to_string(value);
}

std::string CrcText(const TZipHeaderInfo& entry) {
  char text[16];
  std::snprintf(text, sizeof text, "%08" PRIx32, entry.Crc);
  return entry.SizesUnknown ? "?" : text;
}

std::string DateTimeText(uint32_t dos) {
  char text[32];
  const platform::DosDateTimeFields f = platform::SplitDosDateTime(dos);
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u", f.Year, f.Month, f.Day, f.Hour,
                f.Minute);
  return text;
}

}  // namespace

std::string MethodName(int method) {
  switch (method) {
    case kMethodStored:
      return "Stored";
    case kMethodShrunk:
      return "Shrunk";
    case kMethodReduced1:
    case kMethodReduced2:
    case kMethodReduced3:
    case kMethodReduced4:
      return "Reduced" + std::to_string(method - kMethodReduced1 + 1);
    case kMethodImploded:
      return "Imploded";
    case kMethodDeflated:
      return "Deflated";
    case kMethodDeflate64:
      return "Deflate64";
    case kMethodBzip2:
      return "BZip2";
    case kMethodLzma:
      return "LZMA";
    case kMethodZstd:
      return "Zstd";
    case kMethodXz:
      return "XZ";
    case kMethodPpmd:
      return "PPMd";
    default:
      return "Method" + std::to_string(method);
  }
}

int ListArchive(const std::string& archive) {
  TUnZipper zipper;
  zipper.DoProcessMessages = false;
  std::string comment;
  try {
    zipper.SetZipName(archive);
    // As extraction does: an incomplete archive passes the first read without a handler for it
    // and is refused by the second.
    zipper.LoadDirectory();
    zipper.OpenArchive();
    comment = zipper.ArchiveComment();
    zipper.CloseArchive();
  } catch (const Exception& e) {
    const platform::OsError failure = platform::LastError();
    std::fprintf(stderr, "unzipper: %s\n", ArchiveFailureText(archive, e, failure).c_str());
    return 2;
  }
  std::printf("%5s  %-9s %12s %12s  %-16s  %-8s  %-9s  %s\n", "Index", "Method", "Compressed",
              "Size", "Date     Time", "CRC-32", "Encrypted", "Name");
  uint64_t total = 0;
  int unknown = 0;
  for (int i = 0; i < zipper.EntryCount(); ++i) {
    const TZipHeaderInfo& entry = *zipper.SortedEntries->Items(i);
    if (entry.SizesUnknown) {
      ++unknown;
    } else {
      total += entry.GetUncompressedSize64();
    }
    std::printf("%5d  %-9s %12s %12s  %s  %-8s  %-9s  %s\n", i,
                MethodName(entry.EffectiveMethod()).c_str(),
                KnownOrNot(entry, entry.GetCompressedSize64()).c_str(),
                KnownOrNot(entry, entry.GetUncompressedSize64()).c_str(),
                DateTimeText(entry.DosDateTime).c_str(), CrcText(entry).c_str(),
                EncryptionName(entry).c_str(), DisplayName(entry).c_str());
  }
  std::printf("%d entries, %" PRIu64 " bytes", zipper.EntryCount(), total);
  if (unknown > 0) std::printf(" (%d of unknown size)", unknown);
  std::printf("\n");
  if (!comment.empty()) std::printf("Comment: %s\n", comment.c_str());
  return ReportArchiveWarnings(zipper, archive, false) ? 1 : 0;
}
