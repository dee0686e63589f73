// The yardstick of the extraction benchmark: a minimal serial extractor of stored and deflated
// entries (raw inflate and CRC-32 from the build's deflate library, ISA-L or zlib as UPDATE_INFLATE
// says, through the component's thin wrappers; 32 KB blocks), nothing else.
// Usage: minimal_extract ARCHIVE DESTDIR. No encryption, no Zip64, no times or attributes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "unzip/base/crc32.h"
#include "unzip/decoders/inflate_stream.h"

namespace {

constexpr size_t kBlockSize = 32768;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;

uint16_t Get16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t Get32(const uint8_t* p) {
  return Get16(p) | static_cast<uint32_t>(Get16(p + 2)) << 16;
}

bool ReadAt(int fd, uint8_t* data, size_t n, uint64_t offset) {
  while (n > 0) {
    const ssize_t got = pread(fd, data, n, static_cast<off_t>(offset));
    if (got <= 0) return false;
    data += got;
    n -= static_cast<size_t>(got);
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

bool WriteAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t put = write(fd, data, n);
    if (put < 0) return false;
    data += put;
    n -= static_cast<size_t>(put);
  }
  return true;
}

struct Entry {
  std::string name;
  uint16_t flags;
  uint16_t method;
  uint32_t crc;
  uint64_t compressedSize;
  uint64_t uncompressedSize;
  uint64_t localOffset;
};

// Reads the central directory into `entries`; false (with a message) when it cannot.
bool ReadDirectory(int fd, std::vector<Entry>& entries) {
  struct stat st;
  if (fstat(fd, &st) != 0 || st.st_size < 22) return false;
  const auto size = static_cast<uint64_t>(st.st_size);
  const uint64_t tailSize = std::min<uint64_t>(size, 65535 + 22);
  std::vector<uint8_t> tail(tailSize);
  if (!ReadAt(fd, tail.data(), tailSize, size - tailSize)) return false;
  size_t end = tailSize - 22 + 1;
  do {
    if (end-- == 0) {
      std::fprintf(stderr, "minimal_extract: no end of central directory record\n");
      return false;
    }
  } while (Get32(&tail[end]) != kEndSignature);
  const uint16_t count = Get16(&tail[end + 10]);
  const uint32_t cdSize = Get32(&tail[end + 12]);
  const uint32_t cdOffset = Get32(&tail[end + 16]);
  if (count == 0xFFFF || cdOffset == 0xFFFFFFFF) {
    std::fprintf(stderr, "minimal_extract: Zip64 archives are not supported\n");
    return false;
  }
  std::vector<uint8_t> cd(cdSize);
  if (!ReadAt(fd, cd.data(), cdSize, cdOffset)) return false;
  size_t p = 0;
  for (uint16_t i = 0; i < count; ++i) {
    if (p + 46 > cd.size() || Get32(&cd[p]) != kCentralSignature) {
      std::fprintf(stderr, "minimal_extract: bad central directory\n");
      return false;
    }
    const uint16_t nameLength = Get16(&cd[p + 28]);
    const size_t recordSize = 46u + nameLength + Get16(&cd[p + 30]) + Get16(&cd[p + 32]);
    if (p + recordSize > cd.size()) return false;
    entries.push_back(Entry{std::string(reinterpret_cast<const char*>(&cd[p + 46]), nameLength),
                            Get16(&cd[p + 8]), Get16(&cd[p + 10]), Get32(&cd[p + 16]),
                            Get32(&cd[p + 20]), Get32(&cd[p + 24]), Get32(&cd[p + 42])});
    p += recordSize;
  }
  return true;
}

// Creates every directory above `path` (and `path` itself when `self`), once per run.
void MakeDirectories(const std::string& path, bool self, std::unordered_set<std::string>& made) {
  size_t end = self ? path.size() : path.rfind('/');
  if (end == std::string::npos || end == 0) return;
  const std::string dir = path.substr(0, end);
  if (made.count(dir) != 0) return;
  MakeDirectories(dir, false, made);
  if (mkdir(dir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "minimal_extract: mkdir %s: %s\n", dir.c_str(), std::strerror(errno));
  }
  made.insert(dir);
}

class Extractor {
 public:
  explicit Extractor(int archive) : archive_(archive) {}

  // Decodes one entry into `out`; false (with a message) when the data or its CRC is bad.
  bool Extract(const Entry& e, int out) {
    uint8_t local[30];
    if (!ReadAt(archive_, local, sizeof local, e.localOffset) || Get32(local) != kLocalSignature) {
      std::fprintf(stderr, "minimal_extract: %s: bad local header\n", e.name.c_str());
      return false;
    }
    uint64_t offset = e.localOffset + 30 + Get16(local + 26) + Get16(local + 28);
    uint64_t left = e.compressedSize;
    uint32_t crc = 0xFFFFFFFFu;
    bool ended = e.method == 0;
    if (e.method == 8 && !zs_.Reset()) return Fail(e, zs_.Reason().c_str());
    while (left > 0) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(left, kBlockSize));
      if (!ReadAt(archive_, in_, n, offset)) return Fail(e, "short read");
      offset += n;
      left -= n;
      if (e.method == 0) {
        crc = Crc32Update(crc, in_, n);
        if (!WriteAll(out, in_, n)) return Fail(e, std::strerror(errno));
        continue;
      }
      zs_.SetInput(in_, n);
      do {
        zs_.SetOutput(out_, kBlockSize);
        const TInflateStream::TResult rc = zs_.Inflate();
        if (rc == TInflateStream::TResult::kFailed) {
          if (zs_.InputLeft() == 0) break;  // no progress possible before more input
          return Fail(e, zs_.Reason().c_str());
        }
        const size_t produced = kBlockSize - zs_.OutputLeft();
        crc = Crc32Update(crc, out_, produced);
        if (!WriteAll(out, out_, produced)) return Fail(e, std::strerror(errno));
        if (rc == TInflateStream::TResult::kEnd) {
          ended = true;
          break;
        }
      } while (zs_.InputLeft() > 0 || zs_.OutputLeft() == 0);
      if (ended) break;
    }
    if (!ended) return Fail(e, "data ends early");
    if ((crc ^ 0xFFFFFFFFu) != e.crc) return Fail(e, "bad CRC");
    return true;
  }

 private:
  bool Fail(const Entry& e, const char* why) {
    std::fprintf(stderr, "minimal_extract: %s: %s\n", e.name.c_str(), why);
    return false;
  }

  int archive_;
  TInflateStream zs_;
  uint8_t in_[kBlockSize];
  uint8_t out_[kBlockSize];
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: minimal_extract ARCHIVE DESTDIR\n");
    return 2;
  }
  const int archive = open(argv[1], O_RDONLY | O_CLOEXEC);
  std::vector<Entry> entries;
  if (archive < 0 || !ReadDirectory(archive, entries)) {
    std::fprintf(stderr, "minimal_extract: cannot read %s\n", argv[1]);
    return 2;
  }
  const std::string dest = argv[2];
  std::unordered_set<std::string> made;
  MakeDirectories(dest, true, made);
  static Extractor extractor(archive);
  int failures = 0;
  for (const Entry& e : entries) {
    const std::string path = dest + "/" + e.name;
    if (!e.name.empty() && e.name.back() == '/') {
      MakeDirectories(path.substr(0, path.size() - 1), true, made);
      continue;
    }
    if ((e.method != 0 && e.method != 8) || (e.flags & 1) != 0) {
      std::fprintf(stderr, "minimal_extract: %s: method %u%s not supported\n", e.name.c_str(),
                   e.method, (e.flags & 1) != 0 ? " (encrypted)" : "");
      ++failures;
      continue;
    }
    MakeDirectories(path, false, made);
    const int out = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (out < 0) {
      std::fprintf(stderr, "minimal_extract: %s: %s\n", path.c_str(), std::strerror(errno));
      ++failures;
      continue;
    }
    if (!extractor.Extract(e, out)) ++failures;
    if (close(out) != 0) ++failures;
  }
  return failures == 0 ? 0 : 1;
}
