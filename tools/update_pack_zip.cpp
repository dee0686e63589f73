// update-pack's ZIP writer: local headers written ahead of the data and completed once its CRC
// and sizes are known, a deflate try that falls back to stored data, the central directory and
// the end records (with Zip64 where the classic fields overflow).
#include "tools/update_pack_zip.h"

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <limits>
#include <vector>

#include "platform/files.h"
#include "unzip/base/zip_format.h"
#include "unzip/records/zip_header_info.h"

namespace {

// The format's numbers are the component's (unzip/base/zip_format.h). Every entry says version
// 4.5 (Zip64), the host in the high byte of "version made by".
constexpr uint16_t kFormatVersion = kVersionZip64;
constexpr int kDeflateLevel = 6;
constexpr size_t kBlockSize = 256 * 1024;
constexpr size_t kOutputBuffer = 1024 * 1024;

void Put16(std::string& out, uint32_t value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}

void Put32(std::string& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

void Put64(std::string& out, uint64_t value) {
  Put32(out, static_cast<uint32_t>(value));
  Put32(out, static_cast<uint32_t>(value >> 32));
}

uint32_t Low32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, kZip64Marker32));
}

std::string SystemReason() {
  return platform::SystemErrorText(platform::LastError().code);
}

// What the central directory needs to know of an entry.
struct TEntry {
  TZipEntryInfo Info;
  uint16_t Method = kMethodStored;
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t Size = 0;
  uint64_t HeaderOffset = 0;
  bool Zip64Sizes = false;  // the sizes are in a Zip64 field, in both headers

  bool HasTimestamp() const {
    return Info.ModifiedTime >= 0 && Info.ModifiedTime <= std::numeric_limits<int32_t>::max();
  }
  uint16_t VersionNeeded() const {
    if (Zip64Sizes || HeaderOffset >= kZip64Marker32) return kFormatVersion;
    return Method == kMethodDeflated ? 20 : 10;
  }
  void PutTimestamp(std::string& out) const {
    if (!HasTimestamp()) return;
    Put16(out, kExtendedTimestampExtraId);
    Put16(out, 5);
    out += '\x01';  // the last write time follows
    Put32(out, static_cast<uint32_t>(Info.ModifiedTime));
  }
  // The fields both headers share, from "version needed" to the name's length.
  void PutCommon(std::string& out, uint32_t compressed, uint32_t size) const {
    Put16(out, VersionNeeded());
    Put16(out, kFlagUtf8Name);
    Put16(out, Method);
    Put32(out, DosDateTimeOfUnixTime(Info.ModifiedTime));
    Put32(out, Crc);
    Put32(out, compressed);
    Put32(out, size);
    Put16(out, static_cast<uint32_t>(Info.Name.size()));
  }

  std::string LocalHeader() const {
    std::string extra;
    PutTimestamp(extra);
    if (Zip64Sizes) {
      Put16(extra, kZip64ExtraId);
      Put16(extra, 16);
      Put64(extra, Size);
      Put64(extra, CompressedSize);
    }
    std::string out;
    Put32(out, kLocalHeaderSignature);
    PutCommon(out, Zip64Sizes ? kZip64Marker32 : Low32(CompressedSize),
              Zip64Sizes ? kZip64Marker32 : Low32(Size));
    Put16(out, static_cast<uint32_t>(extra.size()));
    return out + Info.Name + extra;
  }

  void PutCentralHeader(std::string& out) const {
    std::string zip64;
    if (Zip64Sizes) Put64(zip64, Size);
    if (Zip64Sizes) Put64(zip64, CompressedSize);
    if (HeaderOffset >= kZip64Marker32) Put64(zip64, HeaderOffset);
    std::string extra;
    PutTimestamp(extra);
    if (!zip64.empty()) {
      Put16(extra, kZip64ExtraId);
      Put16(extra, static_cast<uint32_t>(zip64.size()));
      extra += zip64;
    }
    const bool unix = Info.Permissions >= 0;
    const bool directory = !Info.Name.empty() && Info.Name.back() == '/';
    uint32_t attributes = Info.Attributes & 0xFF;
    if (unix) {
      const uint32_t type = directory ? kUnixDirectory : kUnixRegular;
      attributes |= (type | (static_cast<uint32_t>(Info.Permissions) & 0777)) << 16;
    }
    Put32(out, kCentralHeaderSignature);
    Put16(out, ((unix ? kHostUnix : kHostDos) << 8) | kFormatVersion);
    PutCommon(out, Zip64Sizes ? kZip64Marker32 : Low32(CompressedSize),
              Zip64Sizes ? kZip64Marker32 : Low32(Size));
    Put16(out, static_cast<uint32_t>(extra.size()));
    Put16(out, 0);  // comment
    Put16(out, 0);  // disk
    Put16(out, 0);  // internal attributes
    Put32(out, attributes);
    Put32(out, Low32(HeaderOffset));
    out += Info.Name;
    out += extra;
  }
};

// Where an entry's data come from: a file, or bytes in memory.
struct TSource {
  platform::File* File = nullptr;
  std::string_view Bytes;
  size_t Offset = 0;

  bool Rewind() {
    Offset = 0;
    return File == nullptr || File->Seek(0, 0) == 0;
  }
  int32_t Read(uint8_t* buffer, size_t count) {
    if (File != nullptr) return File->Read(buffer, static_cast<int32_t>(count));
    const size_t n = std::min(count, Bytes.size() - Offset);
    std::memcpy(buffer, Bytes.data() + Offset, n);
    Offset += n;
    return static_cast<int32_t>(n);
  }
};

}  // namespace

struct TZipWriter::TState {
  std::string Path;
  platform::File File;
  std::string Buffer;        // what follows the file's first BufferStart bytes
  uint64_t BufferStart = 0;  // bytes of the archive already in the file
  std::string Central;
  uint64_t Entries = 0;
  z_stream Deflate{};
  bool DeflateReady = false;
  std::vector<uint8_t> In = std::vector<uint8_t>(kBlockSize);
  std::vector<uint8_t> Out = std::vector<uint8_t>(kBlockSize);

  ~TState() {
    if (DeflateReady) deflateEnd(&Deflate);
  }

  uint64_t Offset() const { return BufferStart + Buffer.size(); }

  bool WriteFailed(std::string* reason) {
    *reason = platform::DisplayPath(Path) + " cannot be written: " + SystemReason();
    return false;
  }

  bool Flush(std::string* reason) {
    if (Buffer.empty()) return true;
    if (File.Write(Buffer.data(), static_cast<int32_t>(Buffer.size())) !=
        static_cast<int32_t>(Buffer.size())) {
      return WriteFailed(reason);
    }
    BufferStart += Buffer.size();
    Buffer.clear();
    return true;
  }

  bool Append(const void* data, size_t size, std::string* reason) {
    Buffer.append(static_cast<const char*>(data), size);
    return Buffer.size() < kOutputBuffer || Flush(reason);
  }

  // Writes `bytes` over the archive's bytes at `offset`, which were written before.
  bool Patch(uint64_t offset, const std::string& bytes, std::string* reason) {
    if (offset >= BufferStart) {
      Buffer.replace(static_cast<size_t>(offset - BufferStart), bytes.size(), bytes);
      return true;
    }
    if (!Flush(reason)) return false;
    const bool patched = File.Seek(static_cast<int64_t>(offset), 0) >= 0 &&
                         File.Write(bytes.data(), static_cast<int32_t>(bytes.size())) ==
                             static_cast<int32_t>(bytes.size()) &&
                         File.Seek(0, 2) >= 0;
    return patched || WriteFailed(reason);
  }

  // Drops everything from `offset` on.
  bool Truncate(uint64_t offset, std::string* reason) {
    if (offset >= BufferStart) {
      Buffer.resize(static_cast<size_t>(offset - BufferStart));
      return true;
    }
    Buffer.clear();
    BufferStart = offset;
    const bool cut = File.Seek(static_cast<int64_t>(offset), 0) >= 0 && File.SetEndOfFile();
    return cut || WriteFailed(reason);
  }

  // One pass over the source: its CRC and size, its data deflated (or, with `store`, as they
  // are) into the archive.
  bool Pass(TSource& source, bool store, const std::string& shown, TEntry& entry,
            const TProgress& progress, std::string* reason);
  bool Add(TEntry entry, TSource* source, const std::string& shown, const TProgress& progress,
           std::string* reason);
};

bool TZipWriter::TState::Pass(TSource& source, bool store, const std::string& shown, TEntry& entry,
                              const TProgress& progress, std::string* reason) {
  uLong crc = crc32(0, nullptr, 0);
  uint64_t total = 0;
  if (!store && deflateReset(&Deflate) != Z_OK) {
    *reason = "zlib's deflate failed";
    return false;
  }
  for (;;) {
    const int32_t got = source.Read(In.data(), In.size());
    if (got < 0) {
      *reason = shown + " cannot be read: " + SystemReason();
      return false;
    }
    crc = crc32(crc, In.data(), static_cast<uInt>(got));
    total += static_cast<uint64_t>(got);
    if (total > entry.Size) break;
    if (progress && got > 0) progress(static_cast<uint64_t>(got));
    if (store) {
      if (!Append(In.data(), static_cast<size_t>(got), reason)) return false;
      if (got == 0) break;
      continue;
    }
    Deflate.next_in = In.data();
    Deflate.avail_in = static_cast<uInt>(got);
    const int flush = got == 0 ? Z_FINISH : Z_NO_FLUSH;
    int result = Z_OK;
    do {
      Deflate.next_out = Out.data();
      Deflate.avail_out = static_cast<uInt>(Out.size());
      result = deflate(&Deflate, flush);
      if (result == Z_STREAM_ERROR) {
        *reason = "zlib's deflate failed";
        return false;
      }
      if (!Append(Out.data(), Out.size() - Deflate.avail_out, reason)) return false;
    } while (Deflate.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    if (got == 0) break;
  }
  // The first pass sets what the second (stored) one must find again.
  if (total != entry.Size || (store && entry.Method == kMethodDeflated && crc != entry.Crc)) {
    *reason = shown + " changed while it was packed; pack it again when nothing writes to it";
    return false;
  }
  entry.Crc = static_cast<uint32_t>(crc);
  return true;
}

bool TZipWriter::TState::Add(TEntry entry, TSource* source, const std::string& shown,
                             const TProgress& progress, std::string* reason) {
  entry.HeaderOffset = Offset();
  entry.Zip64Sizes = entry.Size >= kZip64Marker32;
  entry.Method = source != nullptr ? kMethodDeflated : kMethodStored;
  const std::string header = entry.LocalHeader();
  if (!Append(header.data(), header.size(), reason)) return false;
  const uint64_t dataStart = Offset();
  if (source != nullptr) {
    if (!Pass(*source, false, shown, entry, progress, reason)) return false;
    entry.CompressedSize = Offset() - dataStart;
    if (entry.CompressedSize >= entry.Size) {
      // Deflate did not help: the data go in as they are.
      if (!Truncate(dataStart, reason)) return false;
      if (!source->Rewind()) {
        *reason = shown + " cannot be read: " + SystemReason();
        return false;
      }
      if (!Pass(*source, true, shown, entry, {}, reason)) return false;
      entry.Method = kMethodStored;
      entry.CompressedSize = entry.Size;
    }
  }
  if (!Patch(entry.HeaderOffset, entry.LocalHeader(), reason)) return false;
  entry.PutCentralHeader(Central);
  ++Entries;
  return true;
}

TZipWriter::TZipWriter() : state_(std::make_unique<TState>()) {}
TZipWriter::~TZipWriter() = default;

uint64_t TZipWriter::Size() const {
  return state_->Offset();
}

bool TZipWriter::Create(const std::string& path, std::string* reason) {
  state_->Path = path;
  state_->File = platform::File::Open(path, platform::kOpenCreate);
  if (!state_->File.IsOpen()) {
    *reason = platform::DisplayPath(path) + " cannot be created: " + SystemReason();
    return false;
  }
  state_->Buffer.reserve(kOutputBuffer + kBlockSize);
  if (deflateInit2(&state_->Deflate, kDeflateLevel, Z_DEFLATED, -MAX_WBITS, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    *reason = "zlib's deflate cannot be set up";
    return false;
  }
  state_->DeflateReady = true;
  return true;
}

bool TZipWriter::AddFile(const TZipEntryInfo& info, const std::string& sourcePath, uint64_t size,
                         const TProgress& progress, std::string* reason) {
  const std::string shown = platform::DisplayPath(sourcePath);
  platform::File file =
      platform::File::Open(sourcePath, platform::kOpenRead | platform::kShareDenyWrite);
  if (!file.IsOpen()) {
    *reason = shown + " cannot be opened: " + SystemReason();
    return false;
  }
  TSource source;
  source.File = &file;
  TEntry entry;
  entry.Info = info;
  entry.Size = size;
  return state_->Add(std::move(entry), &source, shown, progress, reason);
}

bool TZipWriter::AddBytes(const TZipEntryInfo& info, std::string_view bytes, std::string* reason) {
  TSource source;
  source.Bytes = bytes;
  TEntry entry;
  entry.Info = info;
  entry.Size = bytes.size();
  return state_->Add(std::move(entry), &source, info.Name, {}, reason);
}

bool TZipWriter::AddDirectory(const TZipEntryInfo& info, std::string* reason) {
  TEntry entry;
  entry.Info = info;
  return state_->Add(std::move(entry), nullptr, info.Name, {}, reason);
}

bool TZipWriter::Finish(std::string* reason) {
  TState& s = *state_;
  const uint64_t centralOffset = s.Offset();
  const uint64_t centralSize = s.Central.size();
  if (!s.Append(s.Central.data(), s.Central.size(), reason)) return false;
  std::string end;
  if (s.Entries >= kZip64Marker16 || centralOffset >= kZip64Marker32 ||
      centralSize >= kZip64Marker32) {
    const uint64_t zip64EndOffset = s.Offset();
    Put32(end, kZip64EndSignature);
    Put64(end, 44);  // the record's size after this field
    Put16(end, (kHostUnix << 8) | kFormatVersion);
    Put16(end, kFormatVersion);
    Put32(end, 0);  // this disk
    Put32(end, 0);  // the disk of the central directory
    Put64(end, s.Entries);
    Put64(end, s.Entries);
    Put64(end, centralSize);
    Put64(end, centralOffset);
    Put32(end, kZip64LocatorSignature);
    Put32(end, 0);
    Put64(end, zip64EndOffset);
    Put32(end, 1);  // disks in all
  }
  const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(s.Entries, kZip64Marker16));
  Put32(end, kEndCentralSignature);
  Put16(end, 0);
  Put16(end, 0);
  Put16(end, count);
  Put16(end, count);
  Put32(end, Low32(centralSize));
  Put32(end, Low32(centralOffset));
  Put16(end, 0);  // no comment
  if (!s.Append(end.data(), end.size(), reason) || !s.Flush(reason)) return false;
  if (!s.File.FlushToDisk()) return s.WriteFailed(reason);
  s.File.Close();
  return true;
}

uint32_t DosDateTimeOfUnixTime(int64_t unixTime) {
  using namespace std::chrono;
  constexpr int64_t kFirst = 315532800;  // 1980-01-01 00:00:00 UTC
  constexpr int64_t kLast = 4354819198;  // 2107-12-31 23:59:58 UTC
  const sys_seconds time{seconds{std::clamp(unixTime, kFirst, kLast)}};
  const sys_days day = floor<days>(time);
  const year_month_day date{day};
  const hh_mm_ss<seconds> clock{time - day};
  const uint32_t dosDate = (static_cast<uint32_t>(static_cast<int>(date.year()) - 1980) << 9) |
                           (static_cast<uint32_t>(date.month()) << 5) |
                           static_cast<uint32_t>(date.day());
  const uint32_t dosTime = (static_cast<uint32_t>(clock.hours().count()) << 11) |
                           (static_cast<uint32_t>(clock.minutes().count()) << 5) |
                           static_cast<uint32_t>(clock.seconds().count() / 2);
  return (dosDate << 16) | dosTime;
}
