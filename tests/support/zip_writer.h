// A test-only ZIP writer: builds archives byte by byte, with every field open to override, so that
// tests can make the corner cases (markers, wrong offsets, forged records, junk) the readers meet.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace test {

// ---- Bytes ----------------------------------------------------------------------------------

std::string Le16(uint16_t value);
std::string Le32(uint32_t value);
std::string Le64(uint64_t value);
// Overwrite 2, 4 or 8 bytes of `bytes` at `offset` (which must lie inside) in little-endian order.
void PutLe16(std::string& bytes, size_t offset, uint16_t value);
void PutLe32(std::string& bytes, size_t offset, uint32_t value);
void PutLe64(std::string& bytes, size_t offset, uint64_t value);
// The CRC-32 of ZIP (polynomial 0xEDB88320).
uint32_t Crc32(std::string_view data);

// ---- Extra field blocks ---------------------------------------------------------------------

// A block: ID, data size and data. `declaredSize` claims another size than the data's own.
std::string ExtraBlock(uint16_t id, std::string_view data,
                       std::optional<uint16_t> declaredSize = std::nullopt);
// A Zip64 block (0x0001) holding the 8-byte values in the order given, then the 4-byte disk.
std::string Zip64Extra(std::initializer_list<uint64_t> values,
                       std::optional<uint32_t> diskNumberStart = std::nullopt);
// A Unicode path block (0x7075): version, CRC-32 of `headerName`, the UTF-8 name.
std::string UnicodePathExtra(std::string_view utf8Name, std::string_view headerName,
                             uint8_t version = 1);
// An AES block (0x9901): vendor version, "AE", strength code, real compression method.
std::string AesExtra(uint8_t strength, uint16_t actualMethod, uint16_t vendorVersion = 2);

// A data descriptor (for ZipEntry::afterData): the optional signature, the CRC and both sizes,
// 4 bytes each, or 8 bytes each for `zip64`.
std::string DataDescriptor(uint32_t crc, uint64_t compressedSize, uint64_t uncompressedSize,
                           bool withSignature = true, bool zip64 = false);

// ---- Records --------------------------------------------------------------------------------

// "Version made by" values: version 2.0 written on MS-DOS (host 0) or on Unix (host 3).
inline constexpr uint16_t kMadeByDos = 0x0014, kMadeByUnix = 0x0314;
// 2024-05-17 12:34:56: a date and time that needs no repair.
inline constexpr uint32_t kSomeDosDateTime = 0x58B1645C;

// One entry: a local header with its data, and a central header. Every field has a value that
// makes a correct archive; set one to make it wrong.
struct ZipEntry {
  std::string name;  // the name bytes as stored ("/" separators)
  std::string data;  // the stored data, written as it stands
  uint16_t versionMadeBy = kMadeByDos;
  uint16_t versionNeeded = 20;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t dosDateTime = kSomeDosDateTime;
  std::optional<uint32_t> crc;               // default: CRC-32 of `data`
  std::optional<uint32_t> compressedSize;    // default: the size of `data`
  std::optional<uint32_t> uncompressedSize;  // default: the size of `data`
  uint16_t diskNumberStart = 0;
  uint16_t internalAttributes = 0;
  uint32_t externalAttributes = 0x20;
  std::optional<uint32_t> localHeaderOffset;  // default: where the local header was written
  std::string localExtra;
  std::string centralExtra;
  std::string comment;
  // Declared lengths, when they should differ from the real ones (nameLength in both headers).
  std::optional<uint16_t> nameLength, localExtraLength, centralExtraLength, commentLength;
  // Local header values that differ from the central ones (default: the same).
  std::optional<std::string> localName;
  std::optional<uint16_t> localFlags, localMethod;
  std::optional<uint32_t> localCrc, localCompressedSize, localUncompressedSize;
  std::string afterData;     // written right after the data: a data descriptor, junk
  bool writeLocal = true;    // false: a central header only
  bool writeCentral = true;  // false: a local header and data only
};

// The end of central directory record. Defaults: disks 0, both counts the number of central
// headers, the real size and offset of the central directory; in an archive with a Zip64 end
// record, the counts, size and offset are markers (0xFFFF, 0xFFFFFFFF) instead.
struct ZipEndFields {
  std::optional<uint16_t> thisDisk, startDisk, entriesThisDisk, totalEntries;
  std::optional<uint32_t> centralSize, centralOffset;
  std::string comment;
  std::optional<uint16_t> commentLength;  // default: the size of `comment`
};

// The Zip64 end of central directory record and its locator. Defaults: the real values.
struct Zip64EndFields {
  std::optional<uint32_t> thisDisk, startDisk;
  std::optional<uint64_t> entriesThisDisk, totalEntries, centralSize, centralOffset;
  std::optional<uint64_t> recordSize;  // default: 44 + the size of `extensible`
  uint16_t versionMadeBy = 45, versionNeeded = 45;
  std::string extensible;  // extensible data after the fixed 56 bytes
  bool writeLocator = true;
  uint32_t locatorDisk = 0;
  std::optional<uint64_t> locatorOffset;  // default: where the Zip64 end record was written
  uint32_t totalDisks = 1;
};

// A whole archive, written in this order: prefix, each entry's local header, data and afterData,
// beforeCentral, the central headers, afterCentral, the Zip64 end record and locator, the end
// record with its comment, trailing.
struct ZipArchive {
  std::string prefix;  // a self-extractor stub, junk
  std::vector<ZipEntry> entries;
  std::string beforeCentral;
  std::string afterCentral;
  std::optional<Zip64EndFields> zip64;
  ZipEndFields end;
  bool writeEnd = true;
  std::string trailing;
};

// Where BuildZip put things (stream positions from the start of the archive).
struct ZipLayout {
  std::vector<uint64_t> localHeaderOffsets;  // per entry; entries without one: where it would be
  std::vector<uint64_t> dataOffsets;
  std::vector<uint64_t> centralHeaderOffsets;  // per entry; without one: where it would be
  uint64_t centralOffset = 0;
  uint64_t centralSize = 0;
  uint64_t zip64EndOffset = 0;  // 0 when there is none
  uint64_t locatorOffset = 0;   // 0 when there is none
  uint64_t endOffset = 0;
  uint64_t commentOffset = 0;
  uint64_t size = 0;
};

std::string BuildZip(const ZipArchive& archive, ZipLayout* layout = nullptr);
// A stored entry of `name` holding `data`, every other field at its default.
ZipEntry StoredEntry(const std::string& name, const std::string& data);
// An entry as a writer that cannot seek back writes it (Java's ZipOutputStream, Python's zipfile
// writing to a stream, `zip -`): `data` stored (method 0) or deflated (method 8), flag bit 3,
// zeros for the CRC and sizes in the local header, and after the data a descriptor with its
// signature (8-byte sizes with `zip64`). The central header holds the real values.
ZipEntry StreamedEntry(const std::string& name, const std::string& data, uint16_t method,
                       bool zip64 = false);
// An archive of stored files, each (name, data) in order; a name ending in "/" is a directory.
std::string BuildZipOfFiles(const std::vector<std::pair<std::string, std::string>>& files);

// Single records, for tests that put their own pieces together.
std::string LocalHeader(const ZipEntry& entry);
std::string CentralHeader(const ZipEntry& entry, uint32_t localHeaderOffset);
// The end record; `fields` values override the ones given here.
std::string EndRecord(const ZipEndFields& fields, uint16_t entries, uint32_t centralSize,
                      uint32_t centralOffset);
std::string Zip64EndRecord(const Zip64EndFields& fields, uint64_t entries, uint64_t centralSize,
                           uint64_t centralOffset);
std::string Zip64Locator(uint32_t disk, uint64_t zip64EndOffset, uint32_t totalDisks);

}  // namespace test
