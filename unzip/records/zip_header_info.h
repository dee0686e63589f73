// TZipHeaderInfo: the in-memory record of one archive entry, with its optional Zip64, AES and
// Unicode path records, the readers of central and local headers, and the 64-bit accessors.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "unzip/base/zip_format.h"

class TStream;

// How entry names are decoded: oemFlexible tries the OEM code page first, oemNever decodes every
// name as UTF-8.
enum TOEMConvert : uint8_t { oemNever = 0, oemFlexible = 1 };

// Values of the Zip64 extended information block (header ID 0x0001).
struct TZip64Info {
  uint16_t HeaderId = kZip64ExtraId;
  uint16_t DataSize = 0;
  uint64_t UncompressedSize = 0;
  uint64_t CompressedSize = 0;
  uint64_t LocalHeaderOffset = 0;
  uint32_t DiskNumberStart = 0;
};

// Values of the AES block (header ID 0x9901).
struct TAesInfo {
  uint16_t HeaderId = kAesExtraId;
  uint16_t DataSize = aes_extra::kDataSize;
  uint16_t VendorVersion = 1;
  uint16_t VendorId = kAesVendorId;
  uint8_t Strength = 0;
  uint16_t ActualMethod = 0;
};

// Values of the Unicode path block (header ID 0x7075); the name itself is not kept here.
struct TUnicodePathInfo {
  uint16_t HeaderId = kUnicodePathExtraId;
  uint16_t DataSize = 0;
  uint8_t BlockVersion = 1;
  uint32_t NameCrc = 0;
};

// Bits of TZipHeaderInfo::Zip64Supplied: which Zip64Info values hold a real value.
enum : uint8_t {
  kZip64UncompressedSize = 0x01,
  kZip64CompressedSize = 0x02,
  kZip64LocalHeaderOffset = 0x04,
  kZip64DiskNumberStart = 0x08,
};

class TZipHeaderInfo {
 public:
  TZipHeaderInfo() = default;
  TZipHeaderInfo(const TZipHeaderInfo&) = delete;
  TZipHeaderInfo& operator=(const TZipHeaderInfo&) = delete;

  // Switches `stream` to the stream of the next archive part when a central header runs on there.
  using TNextPartCallback = std::function<void(TZipHeaderInfo* entry, TStream*& stream)>;

  // Reads the central header at the stream's position. True: the record holds the entry and the
  // stream is at the start of the central extra field (the caller skips the extra field and the
  // comment). False, for a short read or another signature: the stream is back where the header
  // began (when `nextPart` switched streams, the new stream is back where the switch left it).
  // `nextPart` is called when the stream ends before the 46 fixed bytes are complete and the
  // bytes read so far are (the start of) a central signature, or no byte could be read.
  bool ReadCentralHeader(TStream*& stream, const TNextPartCallback& nextPart = nullptr);
  // Reads the local header at the stream's position. True: the stream is at the start of the
  // local extra field, which is not read. False as for ReadCentralHeader. LocalHeaderOffset
  // becomes the header's position (through SetLocalHeaderOffset64).
  bool ReadLocalHeader(TStream& stream);
  // Reads CentralExtraLength bytes at the stream's position (fewer when the stream ends first)
  // and takes the Zip64 (0x0001), Unicode path (0x7075) and AES (0x9901) blocks; any other block
  // is skipped by its size. A block that runs past the bytes read ends the parsing. The stream is
  // left after the bytes read.
  void ParseExtraFields(TStream& stream);
  // For the rebuild from local headers: reads LocalExtraLength bytes at the stream's position
  // (the stream is left after them) and takes the Zip64 sizes from a 0x0001 block when the local
  // sizes hold markers, the Unicode path name and the AES block; an AES entry (method 99) then
  // gets its real method and strength as in ReadCentralHeader.
  void ReadLocalExtraFields(TStream& stream);
  // The two-way OEM test on `name` (see OemRoundTripName), only under oemFlexible; false and
  // `name` unchanged under oemNever.
  bool ConvertOemName(std::string& name);
  // Take the fields of a raw central (46 bytes) or local (30 bytes) header and its raw name
  // bytes: the name is decoded (DecodeEntryName) and split into Directory and FileName, the date
  // clamped, Comment emptied, Matched and Selected cleared, and the Zip64, AES and Unicode path
  // records of an earlier entry dropped. Central: LocalExtraLength is kept; CentralHeaderOffset
  // is the caller's to set. Local: VersionMadeBy, CommentLength, DiskNumberStart, the attributes
  // and CentralHeaderOffset become 0, CentralExtraLength is kept; LocalHeaderOffset is the
  // caller's to set.
  void FillFromCentral(const uint8_t* raw46, std::string_view nameBytes);
  void FillFromLocal(const uint8_t* raw30, std::string_view nameBytes);
  // True when a size, offset or disk field holds its marker but no Zip64 value was supplied for
  // it (no 0x0001 block, or one too short for every value its markers call for). Such an entry
  // has no trustworthy value for that field.
  bool HasMissingZip64Values() const;

  // The name texts keep NameLength (and the comment CommentLength) in step: change FileName,
  // Directory and Comment through these setters only. A length above 0xFFFF is stored as 0xFFFF.
  void SetFileName(const std::string& text);
  void SetDirectory(const std::string& text);
  void SetComment(const std::string& text);

  // Copies the header fields VersionMadeBy..CentralHeaderOffset as stored (markers included) and
  // CompressionMethod, the names (through their setters), EncryptionStrength, the Zip64 and AES
  // values when `source` has them (an existing record of this entry stays when `source` has none),
  // Zip64Supplied, the comment when `source` has one loaded (else Comment becomes empty, i.e. not
  // loaded), and Matched, FileOk, Selected and SizesUnknown. OEMConvert, UnicodePathInfo,
  // CentralExtraOffset, SavedCentralExtraLength and Zip64ExtraLength keep this entry's values.
  void CopyFrom(const TZipHeaderInfo& source);

  // The 64-bit values: the short field, or the Zip64Info value when the short field holds its
  // marker. With the marker but no Zip64Info (a damaged entry) the marker itself is returned.
  uint64_t GetCompressedSize64() const;
  uint64_t GetUncompressedSize64() const;
  uint64_t GetLocalHeaderOffset64() const;
  uint32_t GetDiskNumberStart32() const;
  // A value at or above the marker goes into Zip64Info (created when missing, the value marked
  // in Zip64Supplied) and the short field gets the marker; a smaller one goes into the short
  // field and leaves Zip64Info alone.
  void SetCompressedSize64(uint64_t value);
  void SetUncompressedSize64(uint64_t value);
  void SetLocalHeaderOffset64(uint64_t value);
  void SetDiskNumberStart32(uint32_t value);

  // The extra records, created with their initial values when missing.
  TZip64Info& EnsureZip64Info();
  TAesInfo& EnsureAesInfo();
  TUnicodePathInfo& EnsureUnicodePathInfo();

  bool HasComment() const { return CommentLength != 0; }
  // An AES entry (method 99 with a strength code of 1 to 3) is encrypted whatever bit 0 says.
  bool IsEncrypted() const {
    return (Flags & kFlagEncrypted) != 0 || CompressionMethod == kMethodAes ||
           (EncryptionStrength >= kAesStrength128 && EncryptionStrength <= kAesStrength256);
  }
  // A directory: a name ending in "/" (FileName empty), or, as old MS-DOS archivers wrote one,
  // an empty entry without the "/" whose MS-DOS-attribute host set the directory attribute.
  bool StandsForDirectory() const {
    const int host = VersionMadeBy >> 8;
    const bool dosHost =
        host == kHostDos || host == kHostHpfs || host == kHostNtfs || host == kHostVfat;
    return FileName.empty() || (dosHost && (ExternalAttributes & kDosDirectoryAttribute) != 0 &&
                                GetUncompressedSize64() == 0);
  }
  // The path of a directory entry, ending in "\": its Directory for a name ending in "/", and
  // Directory + FileName + "\" for one marked by its attribute alone.
  std::string DirectoryPath() const {
    return FileName.empty() ? Directory : Directory + FileName + "\\";
  }
  // Stored from the root or a drive ("\\dir\\", "C:dir\\"): read, it is re-rooted below the
  // destination, which the reader is told.
  bool HasAbsoluteDirectory() const {
    return !Directory.empty() &&
           (Directory[0] == '\\' || (Directory.size() > 1 && Directory[1] == ':'));
  }
  bool HasDataDescriptor() const { return (Flags & kFlagDataDescriptor) != 0; }
  // Written on a Unix host with permission bits in the high half of ExternalAttributes.
  bool HasUnixPermissions() const {
    return VersionMadeBy >> 8 == kHostUnix && ExternalAttributes >> kUnixModeShift != 0;
  }
  // The real method of an AES entry, else CompressionMethod.
  uint16_t EffectiveMethod() const {
    return CompressionMethod == kMethodAes && AesInfo ? AesInfo->ActualMethod : CompressionMethod;
  }

  uint16_t VersionMadeBy = kVersionZip64;
  uint16_t VersionNeeded = kVersionDeflate;
  uint16_t Flags = 0;        // kFlag... bits
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
  uint16_t CompressionMethod = kMethodDeflated;
  // kZip64... bits of the Zip64Info values read from a block or set through the 64-bit setters.
  // Code that writes Zip64Info fields directly keeps it up to date itself.
  uint8_t Zip64Supplied = 0;
  // Found by the rebuild from local headers with no sizes anywhere: the local header leaves them
  // to a data descriptor that could not be found and checked, and no central header gave them.
  // Its data cannot be told from what follows: it must fail, never pass as an empty file.
  bool SizesUnknown = false;

 private:
  // The part of FillFromCentral and FillFromLocal that does not depend on the header kind.
  void FillCommon(std::string_view nameBytes, int host);
  // Splits a decoded path into Directory and FileName.
  void SetPath(std::string_view path);
  // Interprets an extra area already in memory; `local` selects the local header's Zip64 rule.
  void ParseExtraArea(const uint8_t* data, size_t size, bool local);
  // Takes the values of a Zip64 block; returns where the parsing goes on, from the block's data.
  size_t TakeZip64Values(const uint8_t* block, uint16_t dataSize, bool local);
  // Takes a Unicode path block: its parameters, and its name when that is usable.
  void TakeUnicodePath(const uint8_t* block, uint16_t dataSize);
  // Takes the AES block's method and strength for an entry stored with method 99.
  void ApplyAesMethod();
};
