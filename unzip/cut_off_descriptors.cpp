// Entries whose data descriptor has no room after their data.
#include "unzip/cut_off_descriptors.h"

#include <algorithm>
#include <cstdint>

#include "platform/checked_math.h"
#include "platform/files.h"
#include "platform/stream.h"
#include "unzip/base/zip_format.h"
#include "unzip/records/little_endian.h"
#include "unzip/unzipper.h"

namespace {

// The smallest descriptor: CRC and two 4-byte sizes, without the optional signature.
constexpr uint64_t kSmallestDescriptor = 12;

// Where the entry's data end, by its local header; false when the header cannot be read there.
bool DataEnd(platform::File& archive, const TZipHeaderInfo& entry, uint64_t* end) {
  uint8_t header[kLocalHeaderSize];
  const uint64_t offset = entry.GetLocalHeaderOffset64();
  if (offset > static_cast<uint64_t>(INT64_MAX) ||
      archive.Seek(static_cast<int64_t>(offset), soBeginning) < 0 ||
      archive.Read(header, kLocalHeaderSize) != kLocalHeaderSize ||
      Le32(header) != kLocalHeaderSignature) {
    return false;
  }
  const uint64_t variable = uint64_t{Le16(header + local_header::kNameLength)} +
                            Le16(header + local_header::kExtraLength);
  return platform::CheckedAdd(offset, uint64_t{kLocalHeaderSize} + variable, end) &&
         platform::CheckedAdd(*end, entry.GetCompressedSize64(), end);
}

}  // namespace

std::vector<int> EntriesWithCutOffDescriptor(const TUnZipper& zipper) {
  std::vector<int> cutOff;
  if (zipper.ArchiveIsBad || zipper.ImproperArchive || zipper.SortedEntries == nullptr ||
      zipper.EndRecord->GetThisDisk32() != 0) {
    return cutOff;
  }
  platform::File archive =
      platform::File::Open(zipper.ZipName(), platform::kOpenRead | platform::kShareDenyWrite);
  const int64_t size = archive.IsOpen() ? archive.Size() : -1;
  if (size < 0) return cutOff;
  // Where records start: every local header, the central directory, the end of the file.
  std::vector<uint64_t> starts = {zipper.EndRecord->GetCentralOffset64(),
                                  static_cast<uint64_t>(size)};
  const int count = zipper.EntryCount();
  for (int i = 0; i < count; ++i) {
    starts.push_back(zipper.SortedEntries->Items(i)->GetLocalHeaderOffset64());
  }
  std::sort(starts.begin(), starts.end());
  for (int i = 0; i < count; ++i) {
    const TZipHeaderInfo& entry = *zipper.SortedEntries->Items(i);
    uint64_t end = 0;
    if (!entry.HasDataDescriptor() || !DataEnd(archive, entry, &end)) continue;
    // The first record after the entry's own header; data that run into it are another fault.
    const auto next =
        std::upper_bound(starts.begin(), starts.end(), entry.GetLocalHeaderOffset64());
    if (next != starts.end() && end <= *next && *next - end < kSmallestDescriptor) {
      cutOff.push_back(i);
    }
  }
  return cutOff;
}
