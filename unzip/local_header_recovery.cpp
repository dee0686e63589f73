// TUnZipper: rebuilding the entry list of a damaged or self-extracting archive from its local
// headers, when the central directory cannot be used.
#include "platform/ascii_case.h"
#include "platform/checked_math.h"
#include "unzip/base/messages.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/base/zip_format.h"
#include "unzip/unzipper.h"

namespace {

constexpr int64_t kSelfExtractorStart = 14000;  // where the archive of a ".exe" may begin
constexpr int kPumpInterval = 10240;            // scanned bytes between two message pumps

bool HasExeExtension(const std::string& name) {
  return name.size() >= 4 &&
         platform::EqualsIgnoringAsciiCase(std::string_view(name).substr(name.size() - 4), ".exe");
}

// Where the next local header would start: `dataSize` bytes of data from `dataStart`, then a
// data descriptor with its signature when there is one. False when the sum leaves the
// 64-bit range, which only a forged size can make it do.
bool NextHeaderPosition(int64_t dataStart, uint64_t dataSize, bool descriptor, int64_t* next) {
  int64_t skip = 0;
  return dataSize <= static_cast<uint64_t>(INT64_MAX) &&
         platform::CheckedAdd(static_cast<int64_t>(dataSize),
                              int64_t{descriptor ? kDataDescriptorSize : 0}, &skip) &&
         platform::CheckedAdd(dataStart, skip, next);
}

}  // namespace

bool TUnZipper::RecoverFromLocalHeaders() {
  if (ArchiveIsBad) return false;  // one rebuild per directory read
  ArchiveIsBad = true;
  ImproperArchive = true;
  ReleaseEntries();
  TStream& stream = *ArchiveFile;

  // Find the first local header signature followed by a plausible "version needed".
  stream.SetPosition(HasExeExtension(FZipName) ? kSelfExtractorStart : 0);
  uint32_t window = 0;  // the last four bytes read, the newest in the top byte
  int sinceStart = 0;
  int sincePump = 0;
  for (;;) {
    uint8_t byte;
    if (stream.Read(&byte, 1) != 1) return false;
    window = (window >> 8) | static_cast<uint32_t>(byte) << 24;
    if (++sinceStart >= 4 && window == kLocalHeaderSignature) {
      uint8_t version[2];
      const int32_t got = stream.Read(version, 2);
      if (got == 2 && version[1] < 10) break;
      stream.Seek(-got, soCurrent);  // rescan those bytes: a signature may start there
      window = 0;
      sinceStart = 0;
      continue;
    }
    if (++sincePump >= kPumpInterval) {
      sincePump = 0;
      PumpAndCheckCancel();
    }
  }
  stream.Seek(-(local_header::kVersionNeeded + 2), soCurrent);  // back to the signature

  Entries = std::make_unique<TSortedZip>(DupError, true);
  SortedEntries = Entries.get();
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
    int64_t next = 0;
    const bool reachable = NextHeaderPosition(stream.Position(), entry->GetCompressedSize64(),
                                              entry->HasDataDescriptor(), &next);
    try {
      Entries->Add(entry.get());
    } catch (const EListError&) {
      stream.SetPosition(headerStart);  // a header seen twice: stop at it
      break;
    }
    entry.release();
    if (!reachable) break;
    stream.SetPosition(next);
  }

  EndRecord->SetThisDisk32(0);
  EndRecord->SetCentralOffset64(static_cast<uint64_t>(stream.Position()));
  EndRecord->SetTotalEntries64(static_cast<uint64_t>(Entries->Count()));
  CurrentPart = 0;
  PartCount = 1;
  return true;
}
