// TZipHeaderInfo: header readers, extra field parsing, name and comment setters, copying, and
// the 64-bit value accessors.
#include "unzip/records/zip_header_info.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "platform/path_text.h"
#include "platform/stream.h"
#include "unzip/records/dos_date_time.h"
#include "unzip/records/entry_name.h"
#include "unzip/records/little_endian.h"

namespace {

// Reads up to `count` bytes, as many as the stream has.
int32_t ReadUpTo(TStream& stream, void* buffer, int32_t count) {
  const int32_t n = stream.Read(buffer, count);
  return n < 0 ? 0 : n;
}

// An extra area read whole into memory: small ones on the stack, the rest (at most 65535 bytes,
// the largest length a header can give) on the heap.
class ExtraArea {
 public:
  ExtraArea(TStream& stream, uint16_t length) {
    uint8_t* target = small_.data();
    if (length > small_.size()) {
      large_.resize(length);
      target = large_.data();
    }
    size_ = static_cast<size_t>(ReadUpTo(stream, target, length));
    data_ = target;
  }
  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }

 private:
  std::array<uint8_t, 512> small_;
  std::vector<uint8_t> large_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Names and comments converted between code pages can outgrow a 16-bit length; the length then
// saturates instead of wrapping round to a small number.
uint16_t Length16(size_t length) {
  return static_cast<uint16_t>(std::min<size_t>(length, 0xFFFF));
}

}  // namespace

void TZipHeaderInfo::SetFileName(const std::string& text) {
  FileName = text;
  NameLength = Length16(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetDirectory(const std::string& text) {
  Directory = text;
  NameLength = Length16(Directory.size() + FileName.size());
}

void TZipHeaderInfo::SetComment(const std::string& text) {
  Comment = text;
  CommentLength = Length16(Comment.size());
}

void TZipHeaderInfo::CopyFrom(const TZipHeaderInfo& source) {
  if (&source == this) return;
  VersionMadeBy = source.VersionMadeBy;
  VersionNeeded = source.VersionNeeded;
  Flags = source.Flags;
  DosDateTime = source.DosDateTime;
  Crc = source.Crc;
  CompressedSize = source.CompressedSize;
  UncompressedSize = source.UncompressedSize;
  NameLength = source.NameLength;
  CentralExtraLength = source.CentralExtraLength;
  LocalExtraLength = source.LocalExtraLength;
  CommentLength = source.CommentLength;
  DiskNumberStart = source.DiskNumberStart;
  InternalAttributes = source.InternalAttributes;
  ExternalAttributes = source.ExternalAttributes;
  LocalHeaderOffset = source.LocalHeaderOffset;
  CentralHeaderOffset = source.CentralHeaderOffset;
  // The method is a header field too: a copy without it would decode with a stale method.
  CompressionMethod = source.CompressionMethod;
  SetFileName(source.FileName);
  SetDirectory(source.Directory);
  EncryptionStrength = source.EncryptionStrength;
  if (source.AesInfo) EnsureAesInfo() = *source.AesInfo;
  if (source.Zip64Info) EnsureZip64Info() = *source.Zip64Info;
  Zip64Supplied = source.Zip64Supplied;
  // CommentLength is already the source's; an empty Comment here means "not loaded yet".
  Comment = source.HasComment() ? source.Comment : std::string();
  Matched = source.Matched;
  FileOk = source.FileOk;
  Selected = source.Selected;
  SizesUnknown = source.SizesUnknown;
}

uint64_t TZipHeaderInfo::GetCompressedSize64() const {
  return CompressedSize == kZip64Marker32 && Zip64Info ? Zip64Info->CompressedSize : CompressedSize;
}

uint64_t TZipHeaderInfo::GetUncompressedSize64() const {
  return UncompressedSize == kZip64Marker32 && Zip64Info ? Zip64Info->UncompressedSize
                                                         : UncompressedSize;
}

uint64_t TZipHeaderInfo::GetLocalHeaderOffset64() const {
  return LocalHeaderOffset == kZip64Marker32 && Zip64Info ? Zip64Info->LocalHeaderOffset
                                                          : LocalHeaderOffset;
}

uint32_t TZipHeaderInfo::GetDiskNumberStart32() const {
  return DiskNumberStart == kZip64Marker16 && Zip64Info ? Zip64Info->DiskNumberStart
                                                        : DiskNumberStart;
}

void TZipHeaderInfo::SetCompressedSize64(uint64_t value) {
  if (value >= kZip64Marker32) {
    EnsureZip64Info().CompressedSize = value;
    Zip64Supplied |= kZip64CompressedSize;
    CompressedSize = kZip64Marker32;
  } else {
    CompressedSize = static_cast<uint32_t>(value);
  }
}

void TZipHeaderInfo::SetUncompressedSize64(uint64_t value) {
  if (value >= kZip64Marker32) {
    EnsureZip64Info().UncompressedSize = value;
    Zip64Supplied |= kZip64UncompressedSize;
    UncompressedSize = kZip64Marker32;
  } else {
    UncompressedSize = static_cast<uint32_t>(value);
  }
}

void TZipHeaderInfo::SetLocalHeaderOffset64(uint64_t value) {
  if (value >= kZip64Marker32) {
    EnsureZip64Info().LocalHeaderOffset = value;
    Zip64Supplied |= kZip64LocalHeaderOffset;
    LocalHeaderOffset = kZip64Marker32;
  } else {
    LocalHeaderOffset = static_cast<uint32_t>(value);
  }
}

void TZipHeaderInfo::SetDiskNumberStart32(uint32_t value) {
  if (value >= kZip64Marker16) {
    EnsureZip64Info().DiskNumberStart = value;
    Zip64Supplied |= kZip64DiskNumberStart;
    DiskNumberStart = kZip64Marker16;
  } else {
    DiskNumberStart = static_cast<uint16_t>(value);
  }
}

TZip64Info& TZipHeaderInfo::EnsureZip64Info() {
  if (!Zip64Info) Zip64Info = std::make_unique<TZip64Info>();
  return *Zip64Info;
}

TAesInfo& TZipHeaderInfo::EnsureAesInfo() {
  if (!AesInfo) AesInfo = std::make_unique<TAesInfo>();
  return *AesInfo;
}

TUnicodePathInfo& TZipHeaderInfo::EnsureUnicodePathInfo() {
  if (!UnicodePathInfo) UnicodePathInfo = std::make_unique<TUnicodePathInfo>();
  return *UnicodePathInfo;
}

bool TZipHeaderInfo::HasMissingZip64Values() const {
  return (UncompressedSize == kZip64Marker32 && !(Zip64Supplied & kZip64UncompressedSize)) ||
         (CompressedSize == kZip64Marker32 && !(Zip64Supplied & kZip64CompressedSize)) ||
         (LocalHeaderOffset == kZip64Marker32 && !(Zip64Supplied & kZip64LocalHeaderOffset)) ||
         (DiskNumberStart == kZip64Marker16 && !(Zip64Supplied & kZip64DiskNumberStart));
}

bool TZipHeaderInfo::ConvertOemName(std::string& name) {
  return OEMConvert == oemFlexible && OemRoundTripName(name);
}

void TZipHeaderInfo::FillFromCentral(const uint8_t* raw46, std::string_view nameBytes) {
  namespace at = central_header;
  VersionMadeBy = Le16(raw46 + at::kVersionMadeBy);
  VersionNeeded = Le16(raw46 + at::kVersionNeeded);
  Flags = Le16(raw46 + at::kFlags);
  CompressionMethod = Le16(raw46 + at::kMethod);
  DosDateTime = ClampDosDateTime(Le32(raw46 + at::kDosDateTime));
  Crc = Le32(raw46 + at::kCrc);
  CompressedSize = Le32(raw46 + at::kCompressedSize);
  UncompressedSize = Le32(raw46 + at::kUncompressedSize);
  CentralExtraLength = Le16(raw46 + at::kExtraLength);
  CommentLength = Le16(raw46 + at::kCommentLength);
  DiskNumberStart = Le16(raw46 + at::kDiskNumberStart);
  InternalAttributes = Le16(raw46 + at::kInternalAttributes);
  ExternalAttributes = Le32(raw46 + at::kExternalAttributes);
  LocalHeaderOffset = Le32(raw46 + at::kLocalHeaderOffset);
  FillCommon(nameBytes, VersionMadeBy >> 8);
}

void TZipHeaderInfo::FillFromLocal(const uint8_t* raw30, std::string_view nameBytes) {
  VersionMadeBy = 0;
  namespace at = local_header;
  VersionNeeded = Le16(raw30 + at::kVersionNeeded);
  Flags = Le16(raw30 + at::kFlags);
  CompressionMethod = Le16(raw30 + at::kMethod);
  DosDateTime = ClampDosDateTime(Le32(raw30 + at::kDosDateTime));
  Crc = Le32(raw30 + at::kCrc);
  CompressedSize = Le32(raw30 + at::kCompressedSize);
  UncompressedSize = Le32(raw30 + at::kUncompressedSize);
  LocalExtraLength = Le16(raw30 + at::kExtraLength);
  CommentLength = 0;
  DiskNumberStart = 0;
  InternalAttributes = 0;
  ExternalAttributes = 0;
  CentralHeaderOffset = 0;
  FillCommon(nameBytes, kHostUnknown);
}

void TZipHeaderInfo::FillCommon(std::string_view nameBytes, int host) {
  Comment.clear();
  Matched = false;
  Selected = false;
  // A record that is read into again must not keep the values of the entry it held before.
  Zip64Info.reset();
  AesInfo.reset();
  UnicodePathInfo.reset();
  Zip64Supplied = 0;
  Zip64ExtraLength = 0;
  EncryptionStrength = 0;
  SizesUnknown = false;
  SetPath(DecodeEntryName(nameBytes, Flags, host, OEMConvert == oemFlexible));
}

void TZipHeaderInfo::SetPath(std::string_view path) {
  std::string directory;
  std::string fileName;
  SplitEntryPath(path, &directory, &fileName);
  Directory = std::move(directory);
  SetFileName(fileName);
}

bool TZipHeaderInfo::ReadCentralHeader(TStream*& stream, const TNextPartCallback& nextPart) {
  TStream* const original = stream;
  const int64_t start = stream->Position();
  int64_t resumeAt = start;  // where to go back to in the stream a failure leaves us in
  auto fail = [&]() {
    if (stream != nullptr) stream->SetPosition(stream == original ? start : resumeAt);
    return false;
  };

  uint8_t raw[kCentralHeaderSize];
  int32_t n = ReadUpTo(*stream, raw, kCentralHeaderSize);
  if (n < kCentralHeaderSize && nextPart) {
    static constexpr uint8_t kSignatureBytes[4] = {
        kCentralHeaderSignature & 0xFF, kCentralHeaderSignature >> 8 & 0xFF,
        kCentralHeaderSignature >> 16 & 0xFF, kCentralHeaderSignature >> 24};
    // The header may have been split between two parts, even inside its signature.
    if (std::memcmp(raw, kSignatureBytes, static_cast<size_t>(std::min(n, 4))) == 0) {
      nextPart(this, stream);
      if (stream == nullptr) return false;
      resumeAt = stream->Position();
      n += ReadUpTo(*stream, raw + n, kCentralHeaderSize - n);
    }
  }
  if (n < kCentralHeaderSize || Le32(raw) != kCentralHeaderSignature) return fail();

  const uint16_t nameLength = Le16(raw + central_header::kNameLength);
  std::string name(nameLength, '\0');
  if (ReadUpTo(*stream, name.data(), nameLength) != nameLength) return fail();

  FillFromCentral(raw, name);
  CentralHeaderOffset = start;
  CentralExtraOffset = stream->Position();
  SavedCentralExtraLength = CentralExtraLength;
  if (CentralExtraLength != 0) {
    ParseExtraFields(*stream);
    stream->SetPosition(CentralExtraOffset);
  }
  if (CompressionMethod == kMethodAes) ApplyAesMethod();
  return true;
}

bool TZipHeaderInfo::ReadLocalHeader(TStream& stream) {
  const int64_t start = stream.Position();
  uint8_t raw[kLocalHeaderSize];
  if (ReadUpTo(stream, raw, kLocalHeaderSize) != kLocalHeaderSize ||
      Le32(raw) != kLocalHeaderSignature) {
    stream.SetPosition(start);
    return false;
  }
  const uint16_t nameLength = Le16(raw + local_header::kNameLength);
  std::string name(nameLength, '\0');
  if (ReadUpTo(stream, name.data(), nameLength) != nameLength) {
    stream.SetPosition(start);
    return false;
  }
  FillFromLocal(raw, name);
  // The whole position: cut to 32 bits it would name another place in an archive beyond 4 GB.
  SetLocalHeaderOffset64(static_cast<uint64_t>(start));
  return true;
}

void TZipHeaderInfo::ParseExtraFields(TStream& stream) {
  const ExtraArea area(stream, CentralExtraLength);
  ParseExtraArea(area.Data(), area.Size(), false);
}

void TZipHeaderInfo::ReadLocalExtraFields(TStream& stream) {
  const ExtraArea area(stream, LocalExtraLength);
  ParseExtraArea(area.Data(), area.Size(), true);
  if (CompressionMethod == kMethodAes) ApplyAesMethod();
}

void TZipHeaderInfo::ApplyAesMethod() {
  const TAesInfo& aes = EnsureAesInfo();
  EncryptionStrength = aes.Strength;
  CompressionMethod = aes.ActualMethod;
}

void TZipHeaderInfo::ParseExtraArea(const uint8_t* data, size_t size, bool local) {
  size_t pos = 0;
  while (size - pos >= kExtraBlockHeaderSize) {
    const uint16_t id = Le16(data + pos);
    const uint16_t dataSize = Le16(data + pos + 2);
    const uint8_t* block = data + pos + kExtraBlockHeaderSize;
    pos += kExtraBlockHeaderSize;
    // A block that claims more than the area holds ends the area: what follows is not a block.
    if (dataSize > size - pos) return;
    size_t next = pos + dataSize;
    switch (id) {
      case kZip64ExtraId:
        next = pos + TakeZip64Values(block, dataSize, local);
        break;
      case kUnicodePathExtraId:
        TakeUnicodePath(block, dataSize);
        break;
      case kAesExtraId:
        if (dataSize >= aes_extra::kDataSize) {
          TAesInfo& aes = EnsureAesInfo();
          aes.HeaderId = kAesExtraId;
          aes.DataSize = dataSize;
          aes.VendorVersion = Le16(block + aes_extra::kVendorVersion);
          aes.VendorId = Le16(block + aes_extra::kVendorId);
          aes.Strength = block[aes_extra::kStrength];
          aes.ActualMethod = Le16(block + aes_extra::kActualMethod);
        }
        break;
      default:  // NTFS times and every other block: not needed here
        break;
    }
    pos = next;
  }
}

size_t TZipHeaderInfo::TakeZip64Values(const uint8_t* block, uint16_t dataSize, bool local) {
  TZip64Info& zip64 = EnsureZip64Info();
  zip64.DataSize = dataSize;
  Zip64ExtraLength =
      static_cast<uint16_t>(std::min<uint32_t>(dataSize + uint32_t{kExtraBlockHeaderSize}, 0xFFFF));
  // A local header's block holds both sizes whenever it holds either.
  if (local && dataSize >= 2 * sizeof(uint64_t) &&
      (UncompressedSize == kZip64Marker32 || CompressedSize == kZip64Marker32)) {
    if (UncompressedSize == kZip64Marker32) {
      zip64.UncompressedSize = Le64(block);
      Zip64Supplied |= kZip64UncompressedSize;
    }
    if (CompressedSize == kZip64Marker32) {
      zip64.CompressedSize = Le64(block + sizeof(uint64_t));
      Zip64Supplied |= kZip64CompressedSize;
    }
    return dataSize;
  }
  // Otherwise the block holds a value for each marker, in this order (a local block: the sizes
  // only; the offset marker there is ours). One that does not fit stays missing, and so do the
  // ones after it: their place in the block is unknown.
  size_t used = 0;
  bool fits = true;
  auto take = [&](bool marked, size_t width, uint8_t bit, auto store) {
    if (!marked || !fits) return;
    if (dataSize - used < width) {
      fits = false;
      return;
    }
    store(block + used);
    Zip64Supplied |= bit;
    used += width;
  };
  take(UncompressedSize == kZip64Marker32, sizeof(uint64_t), kZip64UncompressedSize,
       [&](const uint8_t* p) { zip64.UncompressedSize = Le64(p); });
  take(CompressedSize == kZip64Marker32, sizeof(uint64_t), kZip64CompressedSize,
       [&](const uint8_t* p) { zip64.CompressedSize = Le64(p); });
  take(!local && LocalHeaderOffset == kZip64Marker32, sizeof(uint64_t), kZip64LocalHeaderOffset,
       [&](const uint8_t* p) { zip64.LocalHeaderOffset = Le64(p); });
  take(DiskNumberStart == kZip64Marker16, sizeof(uint32_t), kZip64DiskNumberStart,
       [&](const uint8_t* p) { zip64.DiskNumberStart = Le32(p); });
  // The central reading goes on right after the values taken, not after the declared size.
  return local ? dataSize : used;
}

void TZipHeaderInfo::TakeUnicodePath(const uint8_t* block, uint16_t dataSize) {
  namespace at = unicode_path_extra;
  if (dataSize < at::kName) return;
  TUnicodePathInfo& info = EnsureUnicodePathInfo();
  info.DataSize = dataSize;
  info.BlockVersion = block[at::kVersion];
  info.NameCrc = Le32(block + at::kNameCrc);
  std::string name = DecodeUtf8Name(std::string_view(
      reinterpret_cast<const char*>(block + at::kName), dataSize - size_t{at::kName}));
  // A name that is empty or not UTF-8 would be worse than the header's own.
  if (name.empty()) return;
  platform::SlashesToBackslashes(name);
  SetPath(name);
}
