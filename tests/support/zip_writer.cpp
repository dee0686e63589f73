// The test-only ZIP writer.
#include "support/zip_writer.h"

#include <array>

#include "support/raw_deflate.h"

namespace test {

namespace {

template <typename T>
std::string LittleEndian(T value) {
  std::string bytes(sizeof(T), '\0');
  for (size_t i = 0; i < sizeof(T); ++i) {
    bytes[i] = static_cast<char>(static_cast<uint64_t>(value) >> (8 * i) & 0xFF);
  }
  return bytes;
}

template <typename T>
void PutLittleEndian(std::string& bytes, size_t offset, T value) {
  bytes.replace(offset, sizeof(T), LittleEndian(value));
}

uint16_t Size16(size_t size) {
  return static_cast<uint16_t>(size);
}

}  // namespace

std::string Le16(uint16_t value) {
  return LittleEndian(value);
}
std::string Le32(uint32_t value) {
  return LittleEndian(value);
}
std::string Le64(uint64_t value) {
  return LittleEndian(value);
}
void PutLe16(std::string& bytes, size_t offset, uint16_t value) {
  PutLittleEndian(bytes, offset, value);
}
void PutLe32(std::string& bytes, size_t offset, uint32_t value) {
  PutLittleEndian(bytes, offset, value);
}
void PutLe64(std::string& bytes, size_t offset, uint64_t value) {
  PutLittleEndian(bytes, offset, value);
}

uint32_t Crc32(std::string_view data) {
  static const std::array<uint32_t, 256> kTable = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320 ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    return table;
  }();
  uint32_t crc = 0xFFFFFFFF;
  for (const char ch : data) crc = kTable[(crc ^ static_cast<uint8_t>(ch)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFF;
}

std::string ExtraBlock(uint16_t id, std::string_view data, std::optional<uint16_t> declaredSize) {
  return Le16(id) + Le16(declaredSize.value_or(Size16(data.size()))) + std::string(data);
}

std::string Zip64Extra(std::initializer_list<uint64_t> values,
                       std::optional<uint32_t> diskNumberStart) {
  std::string data;
  for (const uint64_t value : values) data += Le64(value);
  if (diskNumberStart) data += Le32(*diskNumberStart);
  return ExtraBlock(0x0001, data);
}

std::string UnicodePathExtra(std::string_view utf8Name, std::string_view headerName,
                             uint8_t version) {
  return ExtraBlock(0x7075, std::string(1, static_cast<char>(version)) + Le32(Crc32(headerName)) +
                                std::string(utf8Name));
}

std::string AesExtra(uint8_t strength, uint16_t actualMethod, uint16_t vendorVersion) {
  return ExtraBlock(0x9901, Le16(vendorVersion) + "AE" +
                                std::string(1, static_cast<char>(strength)) + Le16(actualMethod));
}

std::string DataDescriptor(uint32_t crc, uint64_t compressedSize, uint64_t uncompressedSize,
                           bool withSignature, bool zip64) {
  std::string bytes = withSignature ? Le32(0x08074B50) : std::string();
  bytes += Le32(crc);
  if (zip64) return bytes + Le64(compressedSize) + Le64(uncompressedSize);
  return bytes + Le32(static_cast<uint32_t>(compressedSize)) +
         Le32(static_cast<uint32_t>(uncompressedSize));
}

std::string LocalHeader(const ZipEntry& e) {
  const std::string& name = e.localName ? *e.localName : e.name;
  const uint32_t size = static_cast<uint32_t>(e.data.size());
  return Le32(0x04034B50) + Le16(e.versionNeeded) + Le16(e.localFlags.value_or(e.flags)) +
         Le16(e.localMethod.value_or(e.method)) + Le32(e.dosDateTime) +
         Le32(e.localCrc.value_or(e.crc.value_or(Crc32(e.data)))) +
         Le32(e.localCompressedSize.value_or(e.compressedSize.value_or(size))) +
         Le32(e.localUncompressedSize.value_or(e.uncompressedSize.value_or(size))) +
         Le16(e.nameLength.value_or(Size16(name.size()))) +
         Le16(e.localExtraLength.value_or(Size16(e.localExtra.size()))) + name + e.localExtra;
}

std::string CentralHeader(const ZipEntry& e, uint32_t localHeaderOffset) {
  const uint32_t size = static_cast<uint32_t>(e.data.size());
  return Le32(0x02014B50) + Le16(e.versionMadeBy) + Le16(e.versionNeeded) + Le16(e.flags) +
         Le16(e.method) + Le32(e.dosDateTime) + Le32(e.crc.value_or(Crc32(e.data))) +
         Le32(e.compressedSize.value_or(size)) + Le32(e.uncompressedSize.value_or(size)) +
         Le16(e.nameLength.value_or(Size16(e.name.size()))) +
         Le16(e.centralExtraLength.value_or(Size16(e.centralExtra.size()))) +
         Le16(e.commentLength.value_or(Size16(e.comment.size()))) + Le16(e.diskNumberStart) +
         Le16(e.internalAttributes) + Le32(e.externalAttributes) +
         Le32(e.localHeaderOffset.value_or(localHeaderOffset)) + e.name + e.centralExtra +
         e.comment;
}

std::string EndRecord(const ZipEndFields& f, uint16_t entries, uint32_t centralSize,
                      uint32_t centralOffset) {
  return Le32(0x06054B50) + Le16(f.thisDisk.value_or(0)) + Le16(f.startDisk.value_or(0)) +
         Le16(f.entriesThisDisk.value_or(entries)) + Le16(f.totalEntries.value_or(entries)) +
         Le32(f.centralSize.value_or(centralSize)) + Le32(f.centralOffset.value_or(centralOffset)) +
         Le16(f.commentLength.value_or(Size16(f.comment.size()))) + f.comment;
}

std::string Zip64EndRecord(const Zip64EndFields& f, uint64_t entries, uint64_t centralSize,
                           uint64_t centralOffset) {
  return Le32(0x06064B50) + Le64(f.recordSize.value_or(44 + f.extensible.size())) +
         Le16(f.versionMadeBy) + Le16(f.versionNeeded) + Le32(f.thisDisk.value_or(0)) +
         Le32(f.startDisk.value_or(0)) + Le64(f.entriesThisDisk.value_or(entries)) +
         Le64(f.totalEntries.value_or(entries)) + Le64(f.centralSize.value_or(centralSize)) +
         Le64(f.centralOffset.value_or(centralOffset)) + f.extensible;
}

std::string Zip64Locator(uint32_t disk, uint64_t zip64EndOffset, uint32_t totalDisks) {
  return Le32(0x07064B50) + Le32(disk) + Le64(zip64EndOffset) + Le32(totalDisks);
}

std::string BuildZip(const ZipArchive& archive, ZipLayout* layout) {
  ZipLayout local;
  ZipLayout& at = layout ? *layout : local;
  at = ZipLayout();
  std::string out = archive.prefix;
  for (const ZipEntry& e : archive.entries) {
    at.localHeaderOffsets.push_back(out.size());
    if (e.writeLocal) out += LocalHeader(e);
    at.dataOffsets.push_back(out.size());
    if (e.writeLocal) out += e.data + e.afterData;
  }
  out += archive.beforeCentral;
  at.centralOffset = out.size();
  uint16_t count = 0;
  for (size_t i = 0; i < archive.entries.size(); ++i) {
    const ZipEntry& e = archive.entries[i];
    at.centralHeaderOffsets.push_back(out.size());
    if (!e.writeCentral) continue;
    out += CentralHeader(e, static_cast<uint32_t>(at.localHeaderOffsets[i]));
    ++count;
  }
  at.centralSize = out.size() - at.centralOffset;
  out += archive.afterCentral;

  ZipEndFields end = archive.end;
  if (archive.zip64) {
    const Zip64EndFields& z = *archive.zip64;
    at.zip64EndOffset = out.size();
    out += Zip64EndRecord(z, count, at.centralSize, at.centralOffset);
    if (z.writeLocator) {
      at.locatorOffset = out.size();
      out += Zip64Locator(z.locatorDisk, z.locatorOffset.value_or(at.zip64EndOffset), z.totalDisks);
    }
    if (!end.entriesThisDisk) end.entriesThisDisk = 0xFFFF;
    if (!end.totalEntries) end.totalEntries = 0xFFFF;
    if (!end.centralSize) end.centralSize = 0xFFFFFFFF;
    if (!end.centralOffset) end.centralOffset = 0xFFFFFFFF;
  }
  if (archive.writeEnd) {
    at.endOffset = out.size();
    at.commentOffset = out.size() + 22;
    out += EndRecord(end, count, static_cast<uint32_t>(at.centralSize),
                     static_cast<uint32_t>(at.centralOffset));
  }
  out += archive.trailing;
  at.size = out.size();
  return out;
}

ZipEntry StoredEntry(const std::string& name, const std::string& data) {
  ZipEntry entry;
  entry.name = name;
  entry.data = data;
  return entry;
}

ZipEntry StreamedEntry(const std::string& name, const std::string& data, uint16_t method,
                       bool zip64) {
  ZipEntry entry = StoredEntry(name, method == 8 ? RawDeflate(data) : data);
  entry.method = method;
  entry.flags = 0x08;
  entry.crc = Crc32(data);
  entry.uncompressedSize = static_cast<uint32_t>(data.size());
  entry.localCrc = 0;
  entry.localCompressedSize = 0;
  entry.localUncompressedSize = 0;
  entry.afterData = DataDescriptor(*entry.crc, entry.data.size(), data.size(), true, zip64);
  return entry;
}

std::string BuildZipOfFiles(const std::vector<std::pair<std::string, std::string>>& files) {
  ZipArchive archive;
  for (const auto& [name, data] : files) {
    ZipEntry entry = StoredEntry(name, data);
    if (!name.empty() && name.back() == '/') entry.externalAttributes = 0x10;
    archive.entries.push_back(entry);
  }
  return BuildZip(archive);
}

}  // namespace test
