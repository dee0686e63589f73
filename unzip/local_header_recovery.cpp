// TUnZipper: rebuilding the entry list of a damaged or self-extracting archive from its local
// headers, when the central directory cannot be used.
#include <cstdint>
#include <functional>
#include <optional>

#include "platform/ascii_case.h"
#include "platform/checked_math.h"
#include "unzip/base/messages.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/data_descriptor_search.h"
#include "unzip/unzipper.h"

namespace {

constexpr int64_t kSelfExtractorStart = 14000;  // where the archive of a ".exe" may begin
constexpr int kPumpInterval = 10240;            // scanned bytes between two message pumps
// The descriptor searches of one rebuild may read the archive twice over, and this much more.
constexpr int64_t kSearchAllowance = 1 << 20;

bool HasExeExtension(const std::string& name) {
  return name.size() >= 4 &&
         platform::EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe");
}

enum class THeaderFound { kNothing, kLocalHeader, kCentralHeader };

// Scans from the stream's position, byte by byte, for a local header signature followed by a
// plausible "version needed" (and, with `centralToo`, for a central header signature), and
// leaves the stream at the signature found. Nothing found: the stream is at its end.
THeaderFound ScanForHeader(TStream& stream, bool centralToo, const std::function<void()>& pump) {
  uint32_t window = 0;  // the last four bytes read, the newest in the top byte
  int sinceStart = 0;
  int sincePump = 0;
  for (;;) {
    uint8_t byte;
    if (stream.Read(&byte, 1) != 1) return THeaderFound::kNothing;
    window = (window >> 8) | static_cast<uint32_t>(byte) << 24;
    if (++sinceStart >= 4 && window == kLocalHeaderSignature) {
      uint8_t version[2];
      const int32_t got = stream.Read(version, 2);
      if (got == 2 && version[1] < 10) {
        stream.Seek(-(local_header::kVersionNeeded + 2), soCurrent);  // back to the signature
        return THeaderFound::kLocalHeader;
      }
      stream.Seek(-got, soCurrent);  // rescan those bytes: a signature may start there
      window = 0;
      sinceStart = 0;
      continue;
    }
    if (centralToo && sinceStart >= 4 && window == kCentralHeaderSignature) {
      stream.Seek(-4, soCurrent);
      return THeaderFound::kCentralHeader;
    }
    if (++sincePump >= kPumpInterval) {
      sincePump = 0;
      pump();
    }
  }
}

// What can vouch for the descriptor of an entry, by what can be read of its data.
TDataCheck DataCheckOf(const TZipHeaderInfo& entry) {
  if (entry.IsEncrypted()) return TDataCheck::kNextRecord;
  switch (entry.EffectiveMethod()) {
    case kMethodStored:
      return TDataCheck::kStoredCrc;
    case kMethodDeflated:
      return TDataCheck::kDeflateEnd;
    default:
      return TDataCheck::kNextRecord;
  }
}

// Where the next local header would start after the entry whose data start at `dataStart`, its
// data descriptor included. An entry that leaves its sizes to the descriptor gets them from it
// when it can be found and checked; otherwise it is marked SizesUnknown and there is no answer.
std::optional<int64_t> NextHeaderPosition(TZipHeaderInfo& entry, int64_t dataStart,
                                          int64_t archiveSize, TDataDescriptorSearch& search) {
  const uint64_t size = entry.GetCompressedSize64();
  int64_t dataEnd = 0;
  const bool representable = size <= static_cast<uint64_t>(INT64_MAX) &&
                             platform::CheckedAdd(dataStart, static_cast<int64_t>(size), &dataEnd);
  if (!entry.HasDataDescriptor()) {
    // Data running past the end leave the stream there: no header follows.
    return representable ? dataEnd : archiveSize;
  }
  std::optional<TFoundDescriptor> found;
  if (size != 0 && representable && dataEnd <= archiveSize) {
    // The local header gives the compressed size, and may leave the CRC (some writers the
    // uncompressed size too) to the descriptor that states the same size. Without one, the
    // header's values stand and the extraction checks them.
    found = search.At(dataEnd, size);
    if (!found) return dataEnd + kDataDescriptorSize;
  } else {
    found = search.Find(DataCheckOf(entry), dataStart);
  }
  if (!found) {
    // Zero sizes, not an empty file; no span that would overlap the entries found after it.
    entry.SizesUnknown = true;
    entry.SetCompressedSize64(0);
    entry.SetUncompressedSize64(0);
    return std::nullopt;
  }
  entry.Crc = found->Crc;
  entry.SetCompressedSize64(found->CompressedSize);
  entry.SetUncompressedSize64(found->UncompressedSize);
  return found->End;
}

}  // namespace

bool TUnZipper::RecoverFromLocalHeaders() {
  if (ArchiveIsBad) return false;  // one rebuild per directory read
  ArchiveIsBad = true;
  ImproperArchive = true;
  ReleaseEntries();
  TStream& stream = *ArchiveFile;
  const std::function<void()> pump = [this] { PumpAndCheckCancel(); };

  stream.SetPosition(HasExeExtension(FZipName) ? kSelfExtractorStart : 0);
  if (ScanForHeader(stream, false, pump) != THeaderFound::kLocalHeader) return false;

  Entries = std::make_unique<TSortedZip>(DupError, true);
  SortedEntries = Entries.get();
  const int64_t archiveSize = stream.GetSize();
  TDataDescriptorSearch search(
      stream,
      platform::SaturatingAdd(platform::SaturatingMultiply(archiveSize, 2), kSearchAllowance),
      pump);
  for (;;) {
    std::unique_ptr<TZipHeaderInfo> entry = NewEntryRecord();
    const int64_t headerStart = stream.Position();
    if (!entry->ReadLocalHeader(stream)) break;
    // Local headers of archives beyond 4 GB carry their sizes in a Zip64 block; the offset is
    // kept whole rather than cut to 32 bits.
    entry->ReadLocalExtraFields(stream);
    if (entry->HasMissingZip64Values()) {
      stream.SetPosition(headerStart);
      break;
    }
    entry->SetLocalHeaderOffset64(static_cast<uint64_t>(headerStart));
    PumpAndCheckCancel();
    const int64_t dataStart = stream.Position();
    const std::optional<int64_t> next = NextHeaderPosition(*entry, dataStart, archiveSize, search);
    try {
      Entries->Add(entry.get());
    } catch (const EListError&) {
      stream.SetPosition(headerStart);  // a header seen twice: stop at it
      break;
    }
    entry.release();
    if (next) {
      stream.SetPosition(*next);
      continue;
    }
    // Where this entry ends is unknown: the entries after it are looked for from its data on,
    // and the central directory, when the scan meets it, is read from there.
    stream.SetPosition(dataStart);
    if (ScanForHeader(stream, true, pump) != THeaderFound::kLocalHeader) break;
  }

  EndRecord->SetThisDisk32(0);
  EndRecord->SetCentralOffset64(static_cast<uint64_t>(stream.Position()));
  EndRecord->SetTotalEntries64(static_cast<uint64_t>(Entries->Count()));
  CurrentPart = 0;
  PartCount = 1;
  return true;
}
