// The search for the data descriptor of an entry whose sizes are not in its local header: by the
// end of its deflate stream, by the CRC of its stored bytes, or by the record that follows.
#include "unzip/data_descriptor_search.h"

#include <algorithm>
#include <cstring>

#include "platform/stream.h"
#include "unzip/base/crc32.h"
#include "unzip/base/zip_format.h"
#include "unzip/decoders/inflate_stream.h"
#include "unzip/records/little_endian.h"

namespace {

constexpr int32_t kBlockSize = 32768;
// A descriptor with 8-byte sizes and the signature of the record after it.
constexpr size_t kTailSize = kDataDescriptorZip64Size + 4;
// How many bytes past the end of a deflate stream the decoder may have taken.
constexpr uint64_t kDecoderReadAhead = 8;
// What checking one candidate signature costs, in bytes of the budget.
constexpr int64_t kCandidateCost = 64;

// The four shapes a descriptor comes in: with or without its signature, 4- or 8-byte sizes.
struct TLayout {
  bool Signature;
  bool Wide;
  size_t Length() const {
    return (Signature ? data_descriptor::kSignatureSize : 0) + 4 + (Wide ? 16 : 8);
  }
};
constexpr TLayout kLayouts[] = {{true, false}, {true, true}, {false, false}, {false, true}};

struct TDescriptorValues {
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
};

// The values of a descriptor in `layout` at `p` (`n` bytes there); false when it does not fit
// or its signature is not there.
bool ReadDescriptor(const uint8_t* p, size_t n, TLayout layout, TDescriptorValues* values) {
  if (n < layout.Length()) return false;
  if (layout.Signature && Le32(p) != kDataDescriptorSignature) return false;
  const uint8_t* body = p + (layout.Signature ? data_descriptor::kSignatureSize : 0);
  const uint8_t* sizes = body + data_descriptor::kCompressedSize;
  values->Crc = Le32(body + data_descriptor::kCrc);
  values->CompressedSize = layout.Wide ? Le64(sizes) : Le32(sizes);
  values->UncompressedSize = layout.Wide ? Le64(sizes + 8) : Le32(sizes + 4);
  return true;
}

// Whether a record that may follow an entry's data starts at `p` (`n` bytes there), or the
// archive ends there.
bool RecordOrEndAt(const uint8_t* p, size_t n, bool streamEndsWithin) {
  if (n == 0) return streamEndsWithin;
  if (n < 4) return false;
  const uint32_t signature = Le32(p);
  return signature == kLocalHeaderSignature || signature == kCentralHeaderSignature ||
         signature == kZip64EndSignature || signature == kEndCentralSignature;
}

struct TChoice {
  TDescriptorValues Values;
  size_t Length = 0;
};

// The descriptor at `p` (`n` bytes there, `streamEndsWithin` when the stream ends within them)
// whose values `agrees` accepts. A shape followed by a record (or the end) is preferred, since
// two shapes may both agree (an empty entry's zeros read alike with either size width); with
// `needsRecord` no other shape is taken.
template <typename Agrees>
std::optional<TChoice> Choose(const uint8_t* p, size_t n, bool streamEndsWithin, bool signatureOnly,
                              bool needsRecord, Agrees agrees) {
  std::optional<TChoice> fallback;
  for (const TLayout layout : kLayouts) {
    if (signatureOnly && !layout.Signature) continue;
    TDescriptorValues values;
    if (!ReadDescriptor(p, n, layout, &values) || !agrees(values)) continue;
    const size_t length = layout.Length();
    if (RecordOrEndAt(p + length, n - length, streamEndsWithin)) return TChoice{values, length};
    if (!needsRecord && !fallback) fallback = TChoice{values, length};
  }
  return fallback;
}

}  // namespace

TDataDescriptorSearch::TDataDescriptorSearch(TStream& archive, int64_t budget,
                                             std::function<void()> pump)
    : archive_(archive), budget_(budget), pump_(std::move(pump)) {}

TDataDescriptorSearch::~TDataDescriptorSearch() = default;

int32_t TDataDescriptorSearch::ReadBudgeted(uint8_t* to, int32_t count) {
  if (budget_ <= 0) return -1;
  const int32_t n = archive_.Read(to, count);
  if (n > 0) budget_ -= n;
  return n < 0 ? 0 : n;
}

bool TDataDescriptorSearch::ReadTail(int64_t position, size_t length, size_t* count, bool* atEnd) {
  buffer_.resize(length);
  if (archive_.Seek(position, soBeginning) != position) return false;
  const int32_t n = archive_.Read(buffer_.data(), static_cast<int32_t>(length));
  *count = n < 0 ? 0 : static_cast<size_t>(n);
  *atEnd = *count < length;
  return true;
}

std::optional<TFoundDescriptor> TDataDescriptorSearch::Find(TDataCheck check, int64_t dataStart) {
  if (check != TDataCheck::kDeflateEnd) return ScanForSignature(check, dataStart);
  if (std::optional<TFoundDescriptor> found = AfterDeflateStream(dataStart)) return found;
  // An empty file written with no deflate data at all: the descriptor of nothing comes first.
  size_t count = 0;
  bool atEnd = false;
  if (!ReadTail(dataStart, kTailSize, &count, &atEnd)) return std::nullopt;
  const std::optional<TChoice> empty =
      Choose(buffer_.data(), count, atEnd, true, true, [](const TDescriptorValues& v) {
        return v.Crc == 0 && v.CompressedSize == 0 && v.UncompressedSize == 0;
      });
  if (!empty) return std::nullopt;
  return TFoundDescriptor{0, 0, 0, dataStart + static_cast<int64_t>(empty->Length)};
}

std::optional<TFoundDescriptor> TDataDescriptorSearch::At(int64_t position,
                                                          uint64_t compressedSize) {
  size_t count = 0;
  bool atEnd = false;
  if (!ReadTail(position, kTailSize, &count, &atEnd)) return std::nullopt;
  const std::optional<TChoice> choice =
      Choose(buffer_.data(), count, atEnd, false, false,
             [compressedSize](const auto& v) { return v.CompressedSize == compressedSize; });
  if (!choice) return std::nullopt;
  return TFoundDescriptor{choice->Values.Crc, compressedSize, choice->Values.UncompressedSize,
                          position + static_cast<int64_t>(choice->Length)};
}

std::optional<TFoundDescriptor> TDataDescriptorSearch::ScanForSignature(TDataCheck check,
                                                                        int64_t dataStart) {
  // The buffer holds a block to scan and, behind it, enough bytes to read the descriptor of a
  // signature near the block's end and the signature after it.
  buffer_.resize(static_cast<size_t>(kBlockSize) + kTailSize);
  if (archive_.Seek(dataStart, soBeginning) != dataStart) return std::nullopt;
  int64_t base = dataStart;  // the stream position of buffer_[0]
  size_t have = 0;
  bool atEnd = false;
  size_t next = 0;     // the next index to look at
  uint32_t crc = ~0u;  // of the bytes from dataStart to buffer_[crcDone]
  size_t crcDone = 0;
  const bool stored = check == TDataCheck::kStoredCrc;
  for (;;) {
    while (!atEnd && have < buffer_.size()) {
      const int32_t n =
          ReadBudgeted(buffer_.data() + have, static_cast<int32_t>(buffer_.size() - have));
      if (n < 0) return std::nullopt;
      if (n == 0) atEnd = true;
      have += static_cast<size_t>(n);
    }
    // A candidate is looked at once its whole tail is in the buffer, or the stream ends first.
    const size_t limit = atEnd ? have : have - kTailSize;
    for (; next < limit && have - next >= 4; ++next) {
      const uint8_t* p = buffer_.data() + next;
      if (p[0] != (kDataDescriptorSignature & 0xFF) || Le32(p) != kDataDescriptorSignature) {
        continue;
      }
      budget_ -= kCandidateCost;
      if (budget_ <= 0) return std::nullopt;
      const uint64_t distance = static_cast<uint64_t>(base - dataStart) + next;
      if (stored) {
        crc = Crc32Update(crc, buffer_.data() + crcDone, next - crcDone);
        crcDone = next;
      }
      const std::optional<TChoice> choice =
          Choose(p, have - next, atEnd, true, !stored, [&](const TDescriptorValues& v) {
            return v.CompressedSize == distance &&
                   (!stored || (v.UncompressedSize == distance && v.Crc == ~crc));
          });
      if (choice) {
        return TFoundDescriptor{choice->Values.Crc, choice->Values.CompressedSize,
                                choice->Values.UncompressedSize,
                                base + static_cast<int64_t>(next + choice->Length)};
      }
    }
    if (atEnd) return std::nullopt;
    if (stored) crc = Crc32Update(crc, buffer_.data() + crcDone, next - crcDone);
    std::memmove(buffer_.data(), buffer_.data() + next, have - next);
    base += static_cast<int64_t>(next);
    have -= next;
    next = 0;
    crcDone = 0;
    if (pump_) pump_();
  }
}

std::optional<TFoundDescriptor> TDataDescriptorSearch::AfterDeflateStream(int64_t dataStart) {
  if (!inflate_) inflate_ = std::make_unique<TInflateStream>();
  TInflateStream& stream = *inflate_;
  if (!stream.Reset()) return std::nullopt;
  if (archive_.Seek(dataStart, soBeginning) != dataStart) return std::nullopt;
  buffer_.resize(kBlockSize);
  output_.resize(kBlockSize);
  uint64_t fed = 0;
  uint64_t produced = 0;
  uint32_t crc = ~0u;
  TInflateStream::TResult result = TInflateStream::TResult::kMore;
  stream.SetInput(buffer_.data(), 0);
  while (result != TInflateStream::TResult::kEnd) {
    if (stream.InputLeft() == 0) {
      if (pump_) pump_();
      const int32_t n = ReadBudgeted(buffer_.data(), kBlockSize);
      if (n <= 0) return std::nullopt;  // the budget is spent, or the data end first
      stream.SetInput(buffer_.data(), static_cast<size_t>(n));
      fed += static_cast<uint64_t>(n);
    }
    stream.SetOutput(output_.data(), output_.size());
    result = stream.Inflate();
    if (result == TInflateStream::TResult::kFailed) return std::nullopt;
    const size_t made = output_.size() - stream.OutputLeft();
    crc = Crc32Update(crc, output_.data(), made);
    produced += made;
  }
  // The decoder may have taken a few bytes past the end into its bit buffer, so the end lies
  // up to that many bytes before the input it left: the descriptor that states the distance
  // from the data start to itself tells which.
  const uint64_t unused = stream.InputLeft();
  const uint64_t lookBehind = std::min<uint64_t>(kDecoderReadAhead, fed - unused);
  const int64_t from = dataStart + static_cast<int64_t>(fed - unused - lookBehind);
  size_t count = 0;
  bool atEnd = false;
  if (!ReadTail(from, kTailSize + kDecoderReadAhead, &count, &atEnd)) return std::nullopt;
  for (uint64_t back = 0; back <= lookBehind; ++back) {
    const uint64_t consumed = fed - unused - back;
    const size_t at = static_cast<size_t>(lookBehind - back);
    const std::optional<TChoice> choice = Choose(
        buffer_.data() + at, count - std::min(count, at), atEnd, false, false,
        [&](const TDescriptorValues& v) {
          return v.CompressedSize == consumed && v.UncompressedSize == produced && v.Crc == ~crc;
        });
    if (choice) {
      return TFoundDescriptor{choice->Values.Crc, consumed, produced,
                              from + static_cast<int64_t>(at + choice->Length)};
    }
  }
  return std::nullopt;
}
