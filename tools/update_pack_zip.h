// update-pack's ZIP writer: a deterministic archive, the same bytes for the same entries.
//
// Each entry is deflated (zlib, level 6, raw) or stored where deflate does not make it smaller;
// its name is UTF-8 with flag bit 11; its time is the DOS date and time of its last write in UTC
// (not local time, which would make the bytes depend on the packing machine's time zone), with the
// exact time in an extended-timestamp field (0x5455) as well; with permission bits the entry is
// marked as made on Unix (they go in the high half of the external attributes), else on MS-DOS
// (its DOS attributes only). Sizes, offsets and counts beyond the classic fields go to Zip64
// records, for the entries and for the end of the archive.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

struct TZipEntryInfo {
  std::string Name;          // "/" separators; a directory's ends in "/"
  int64_t ModifiedTime = 0;  // seconds since 1970-01-01 UTC
  int32_t Permissions = -1;  // the permission bits (0777); -1: none, an MS-DOS entry
  uint32_t Attributes = 0;   // DOS attributes
};

class TZipWriter {
 public:
  // Called now and then with the bytes of a file's data read since the last call.
  using TProgress = std::function<void(uint64_t bytes)>;

  TZipWriter();
  ~TZipWriter();
  TZipWriter(const TZipWriter&) = delete;
  TZipWriter& operator=(const TZipWriter&) = delete;

  // Creates the archive file `path` (replacing one that is there). The methods below return
  // false with a reason in words, naming the file concerned; the archive is then unfinished.
  [[nodiscard]] bool Create(const std::string& path, std::string* reason);
  // The file at `sourcePath` (the system's form), which must hold `size` bytes: a file that
  // changes while it is packed is refused.
  [[nodiscard]] bool AddFile(const TZipEntryInfo& info, const std::string& sourcePath,
                             uint64_t size, const TProgress& progress, std::string* reason);
  [[nodiscard]] bool AddBytes(const TZipEntryInfo& info, std::string_view bytes,
                              std::string* reason);
  [[nodiscard]] bool AddDirectory(const TZipEntryInfo& info, std::string* reason);
  // Writes the central directory and the end records, and flushes the file to the disk.
  [[nodiscard]] bool Finish(std::string* reason);

  // The archive's size so far.
  uint64_t Size() const;

 private:
  struct TState;
  std::unique_ptr<TState> state_;
};

// The DOS date (high half) and time (low half) of `unixTime`, in UTC; times before 1980 are
// 1980-01-01 00:00:00 and times after 2107 are 2107-12-31 23:59:58, the range DOS times have.
uint32_t DosDateTimeOfUnixTime(int64_t unixTime);
