// TZipHeaderInfo: the in-memory record of one archive entry, with its optional Zip64, AES and
// Unicode path records and the accessors that combine short fields with Zip64 values.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

// How entry names are decoded: oemFlexible tries the OEM code page first, oemNever decodes every
// name as UTF-8.
enum TOEMConvert : uint8_t { oemNever = 0, oemFlexible = 1 };

// Values of the Zip64 extended information block (header ID 0x0001).
struct TZip64Info {
  uint16_t HeaderId = 1;
  uint16_t DataSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t CompressedSize = 0;
  uint64_t LocalHeaderOffset = 0;
  uint32_t DiskNumberStart = 0;
};

// Values of the AES block (header ID 0x9901). VendorId 0x4541 is the bytes "AE".
struct TAesInfo {
  uint16_t HeaderId = 0x9901;
  uint16_t DataSize = 7;
  uint16_t VendorVersion = 1;
  uint16_t VendorId = 0x4541;
  uint8_t Strength = 0;
  uint16_t ActualMethod = 0;
};

// Values of the Unicode path block (header ID 0x7075); the name itself is not kept here.
struct TUnicodePathInfo {
  uint16_t HeaderId = 0x7075;
  uint16_t DataSize = 0;
  uint8_t BlockVersion = 1;
  uint32_t NameCrc = 0;
};

// Short-field markers meaning "the value is in Zip64Info".
inline constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;
inline constexpr uint16_t kZip64Marker16 = 0xFFFF;

// The compression method that stands for "AES-encrypted; the real method is in the AES block".
inline constexpr uint16_t kAesMethod = 99;

class TZipHeaderInfo {
 public:
  TZipHeaderInfo() = default;
  TZipHeaderInfo(const TZipHeaderInfo&) = delete;
  TZipHeaderInfo& operator=(const TZipHeaderInfo&) = delete;

  // The name texts keep NameLength (and the comment CommentLength) in step: change FileName,
  // Directory and Comment through these setters only. A length above 0xFFFF is stored as 0xFFFF.
  void SetFileName(const std::string& text);
  void SetDirectory(const std::string& text);
  void SetComment(const std::string& text);

  // Copies the header fields VersionMadeBy..CentralHeaderOffset as stored (markers included) and
  // CompressionMethod, the names (through their setters), EncryptionStrength, the Zip64 and AES
  // values when `source` has them (an existing record of this entry stays when `source` has none),
  // the comment when `source` has one loaded (else Comment becomes empty, i.e. not loaded), and
  // Matched, FileOk and Selected. OEMConvert, UnicodePathInfo, CentralExtraOffset,
  // SavedCentralExtraLength and Zip64ExtraLength keep this entry's values.
  void CopyFrom(const TZipHeaderInfo& source);

  // The 64-bit values: the short field, or the Zip64Info value when the short field holds its
  // marker. With the marker but no Zip64Info (a damaged entry) the marker itself is returned.
  uint64_t GetCompressedSize64() const;
  uint64_t GetUncompressedSize64() const;
  uint64_t GetLocalHeaderOffset64() const;
  uint32_t GetDiskNumberStart32() const;
  // A value at or above the marker goes into Zip64Info (created when missing) and the short
  // field gets the marker; a smaller one goes into the short field and leaves Zip64Info alone.
  void SetCompressedSize64(uint64_t value);
  void SetUncompressedSize64(uint64_t value);
  void SetLocalHeaderOffset64(uint64_t value);
  void SetDiskNumberStart32(uint32_t value);

  // The extra records, created with their initial values when missing.
  TZip64Info& EnsureZip64Info();
  TAesInfo& EnsureAesInfo();
  TUnicodePathInfo& EnsureUnicodePathInfo();

  bool HasComment() const { return CommentLength != 0; }
  bool IsEncrypted() const { return (Flags & 0x0001) != 0 || CompressionMethod == kAesMethod; }
  bool HasDataDescriptor() const { return (Flags & 0x0008) != 0; }
  // The real method of an AES entry, else CompressionMethod.
  uint16_t EffectiveMethod() const {
    return CompressionMethod == kAesMethod && AesInfo ? AesInfo->ActualMethod : CompressionMethod;
  }

  uint16_t VersionMadeBy = 45;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;        // bit 0: encrypted; bit 3: sizes and CRC follow the data
  uint32_t DosDateTime = 0;  // time in the low word, date in the high word
  uint32_t Crc = 0xFFFFFFFF;
  uint32_t CompressedSize = 0;    // kZip64Marker32: in Zip64Info
  uint32_t UncompressedSize = 0;  // kZip64Marker32: in Zip64Info
  uint16_t NameLength = 0;        // Directory.size() + FileName.size()
  uint16_t CentralExtraLength = 0;
  uint16_t LocalExtraLength = 0;  // 0 until a local header was read
  uint16_t CommentLength = 0;
  uint16_t DiskNumberStart = 0;  // kZip64Marker16: in Zip64Info
  uint16_t InternalAttributes = 1;
  uint32_t ExternalAttributes = 0x20;  // low byte: DOS attributes
  uint32_t LocalHeaderOffset = 0;      // kZip64Marker32: in Zip64Info
  int64_t CentralHeaderOffset = 0;     // stream position of this entry's central header
  std::string FileName;                // name part of the entry path
  std::string Directory;               // directory part, ending in "\", or empty
  std::unique_ptr<TZip64Info> Zip64Info;
  std::unique_ptr<TAesInfo> AesInfo;
  std::unique_ptr<TUnicodePathInfo> UnicodePathInfo;
  uint8_t EncryptionStrength = 0;  // AES: 0 none, 1 128-bit, 2 192-bit, 3 256-bit
  std::string Comment;             // empty until loaded
  bool Matched = false;            // chosen for the current extraction run
  bool FileOk = false;
  bool Selected = false;
  TOEMConvert OEMConvert = oemNever;
  int64_t CentralExtraOffset = 0;  // stream position of the central extra field
  uint16_t SavedCentralExtraLength = 0;
  uint16_t Zip64ExtraLength = 0;  // data size + 4 of the Zip64 block, as read
  uint16_t CompressionMethod = 8;
};
