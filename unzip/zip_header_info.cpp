// TZipHeaderInfo: name and comment setters, copying, and the 64-bit value accessors.
#include "unzip/zip_header_info.h"

#include <algorithm>

namespace {

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
  // CommentLength is already the source's; an empty Comment here means "not loaded yet".
  Comment = source.HasComment() ? source.Comment : std::string();
  Matched = source.Matched;
  FileOk = source.FileOk;
  Selected = source.Selected;
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
    CompressedSize = kZip64Marker32;
  } else {
    CompressedSize = static_cast<uint32_t>(value);
  }
}

void TZipHeaderInfo::SetUncompressedSize64(uint64_t value) {
  if (value >= kZip64Marker32) {
    EnsureZip64Info().UncompressedSize = value;
    UncompressedSize = kZip64Marker32;
  } else {
    UncompressedSize = static_cast<uint32_t>(value);
  }
}

void TZipHeaderInfo::SetLocalHeaderOffset64(uint64_t value) {
  if (value >= kZip64Marker32) {
    EnsureZip64Info().LocalHeaderOffset = value;
    LocalHeaderOffset = kZip64Marker32;
  } else {
    LocalHeaderOffset = static_cast<uint32_t>(value);
  }
}

void TZipHeaderInfo::SetDiskNumberStart32(uint32_t value) {
  if (value >= kZip64Marker16) {
    EnsureZip64Info().DiskNumberStart = value;
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
