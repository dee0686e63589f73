// The numbers of the ZIP format in one place: record signatures, fixed record sizes and field
// offsets, general purpose flag bits, compression methods, extra block IDs and their values.
#pragma once

#include <cstdint>

// ---- Record signatures (little-endian, "PK" first) ------------------------------------------
inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndCentralSignature = 0x06054B50;
inline constexpr uint32_t kZip64EndSignature = 0x06064B50;
inline constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;

// ---- Fixed sizes of the records (before any name, extra field or comment) --------------------
inline constexpr int kLocalHeaderSize = 30;
inline constexpr int kCentralHeaderSize = 46;
inline constexpr int kEndCentralSize = 22;
inline constexpr int kZip64EndSize = 56;  // the fixed part; an extensible data sector may follow
inline constexpr int kZip64LocatorSize = 20;
// A data descriptor with its signature and 32-bit sizes: signature, CRC, two sizes.
inline constexpr int kDataDescriptorSize = 16;
// The same with the 64-bit sizes of an entry with Zip64 values.
inline constexpr int kDataDescriptorZip64Size = 24;
// The longest comment an end record can announce.
inline constexpr int kMaxCommentLength = 0xFFFF;

// ---- Field offsets, from the record's signature ---------------------------------------------
namespace local_header {
inline constexpr int kVersionNeeded = 4, kFlags = 6, kMethod = 8, kDosDateTime = 10, kCrc = 14,
                     kCompressedSize = 18, kUncompressedSize = 22, kNameLength = 26,
                     kExtraLength = 28;
}  // namespace local_header

namespace central_header {
inline constexpr int kVersionMadeBy = 4, kVersionNeeded = 6, kFlags = 8, kMethod = 10,
                     kDosDateTime = 12, kCrc = 16, kCompressedSize = 20, kUncompressedSize = 24,
                     kNameLength = 28, kExtraLength = 30, kCommentLength = 32,
                     kDiskNumberStart = 34, kInternalAttributes = 36, kExternalAttributes = 38,
                     kLocalHeaderOffset = 42;
}  // namespace central_header

namespace end_record {
inline constexpr int kThisDisk = 4, kStartDisk = 6, kEntriesThisDisk = 8, kTotalEntries = 10,
                     kCentralSize = 12, kCentralOffset = 16, kCommentLength = 20;
}  // namespace end_record

namespace zip64_end_record {
inline constexpr int kRecordSize = 4, kVersionMadeBy = 12, kVersionNeeded = 14, kThisDisk = 16,
                     kStartDisk = 20, kEntriesThisDisk = 24, kTotalEntries = 32, kCentralSize = 40,
                     kCentralOffset = 48;
}  // namespace zip64_end_record

// A data descriptor's fields after its (optional) signature; the uncompressed size follows the
// compressed one, 4 or 8 bytes further on.
namespace data_descriptor {
inline constexpr int kSignatureSize = 4, kCrc = 0, kCompressedSize = 4;
}  // namespace data_descriptor

namespace zip64_locator {
inline constexpr int kEndDisk = 4, kEndOffset = 8, kTotalDisks = 16;
}  // namespace zip64_locator

// The Zip64 end record's own size field counts the bytes after that field.
inline constexpr uint64_t kZip64EndRecordSizeValue =
    kZip64EndSize - (zip64_end_record::kRecordSize + 8);

// ---- Versions and hosts ("version made by": host in the high byte, version in the low) -------
inline constexpr uint16_t kVersionDeflate = 20;  // the version needed for deflated data
inline constexpr uint16_t kVersionZip64 = 45;    // the version needed for Zip64 records
inline constexpr int kHostDos = 0;
inline constexpr int kHostUnix = 3;
// Hosts whose file systems keep MS-DOS attributes (FAT, OS/2 HPFS, NTFS, VFAT): the low byte of
// their external attributes is the whole story, the directory bit included.
inline constexpr int kHostHpfs = 6, kHostNtfs = 11, kHostVfat = 14;
inline constexpr uint32_t kDosDirectoryAttribute = 0x10;
// An entry made on kHostUnix keeps its mode (type and permission bits) in the high half of the
// external attributes; the low byte holds the DOS attributes on every host.
inline constexpr int kUnixModeShift = 16;
inline constexpr uint32_t kUnixTypeMask = 0170000, kUnixDirectory = 0040000, kUnixRegular = 0100000,
                          kUnixPermissionMask = 0777;

// ---- General purpose flag bits --------------------------------------------------------------
inline constexpr uint16_t kFlagEncrypted = 0x0001;
// Imploded data: the 8 KB dictionary instead of 4 KB, and three Shannon-Fano trees instead of two
// (the first one for literals).
inline constexpr uint16_t kFlagImplodeBigDictionary = 0x0002;
inline constexpr uint16_t kFlagImplodeLiteralTree = 0x0004;
// CRC and sizes are zero in the local header and follow the data in a data descriptor.
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlagStrongEncryption = 0x0040;
// The name and comment are UTF-8.
inline constexpr uint16_t kFlagUtf8Name = 0x0800;

// ---- Compression methods --------------------------------------------------------------------
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodShrunk = 1;
// Reduced with compression factor 1 to 4: methods 2 to 5.
inline constexpr uint16_t kMethodReduced1 = 2, kMethodReduced2 = 3, kMethodReduced3 = 4,
                          kMethodReduced4 = 5;
inline constexpr uint16_t kMethodImploded = 6;
inline constexpr uint16_t kMethodDeflated = 8;
inline constexpr uint16_t kMethodDeflate64 = 9;
inline constexpr uint16_t kMethodBzip2 = 12;
inline constexpr uint16_t kMethodLzma = 14;
inline constexpr uint16_t kMethodZstd = 93;
inline constexpr uint16_t kMethodXz = 95;
inline constexpr uint16_t kMethodPpmd = 98;
// "AES-encrypted; the real method is in the AES block".
inline constexpr uint16_t kMethodAes = 99;

// ---- Extra field blocks ---------------------------------------------------------------------
// Every block starts with its 2-byte ID and 2-byte data size.
inline constexpr int kExtraBlockHeaderSize = 4;
inline constexpr uint16_t kZip64ExtraId = 0x0001, kNtfsExtraId = 0x000A,
                          kExtendedTimestampExtraId = 0x5455, kUnicodePathExtraId = 0x7075,
                          kAesExtraId = 0x9901;

// Short-field markers meaning "the value is in the Zip64 records".
inline constexpr uint32_t kZip64Marker32 = 0xFFFFFFFF;
inline constexpr uint16_t kZip64Marker16 = 0xFFFF;

// The AES block: vendor version, vendor ID "AE", strength code, the real method.
namespace aes_extra {
inline constexpr int kVendorVersion = 0, kVendorId = 2, kStrength = 4, kActualMethod = 5;
inline constexpr uint16_t kDataSize = 7;
}  // namespace aes_extra
inline constexpr uint16_t kAesVendorId = 0x4541;  // the bytes "AE"
// Strength codes of the AES block; 0 stands for "no AES" in this component.
inline constexpr uint8_t kAesStrength128 = 1, kAesStrength192 = 2, kAesStrength256 = 3;

// The Unicode path block: its version and the CRC-32 of the header's name, then the name.
namespace unicode_path_extra {
inline constexpr int kVersion = 0, kNameCrc = 1, kName = 5;
}  // namespace unicode_path_extra
