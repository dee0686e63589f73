// Finding where an entry's data end when its local header leaves the sizes to a data descriptor
// after the data, and no central header tells them: the rebuild from local headers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class TStream;
class TInflateStream;

// A data descriptor found after an entry's data and checked against them.
struct TFoundDescriptor {
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
  int64_t End = 0;  // the position right after the descriptor, where the next record starts
};

// What can vouch for a descriptor, by what the component can read of the data without a
// password.
enum class TDataCheck : uint8_t {
  kStoredCrc,   // stored, not encrypted: the bytes up to the descriptor have its CRC and size
  kDeflateEnd,  // deflated, not encrypted: the deflate stream ends by itself, right before it
  kNextRecord,  // anything else: its compressed size, and a record (or the end) right after it
};

class TDataDescriptorSearch {
 public:
  // `budget`: the archive bytes that all the searches together may read, each candidate
  // descriptor counted as a few bytes more, so that an archive full of forged headers and
  // signatures costs time in proportion to its size. `pump` runs once per block read; it may
  // raise to cancel.
  TDataDescriptorSearch(TStream& archive, int64_t budget, std::function<void()> pump);
  ~TDataDescriptorSearch();
  TDataDescriptorSearch(const TDataDescriptorSearch&) = delete;
  TDataDescriptorSearch& operator=(const TDataDescriptorSearch&) = delete;

  // The descriptor of the data that start at `dataStart`: the first one that `check` vouches
  // for. None when there is none, or when the budget is spent first. The stream position
  // afterwards is not defined.
  std::optional<TFoundDescriptor> Find(TDataCheck check, int64_t dataStart);

  // For data whose local header gives their compressed size but leaves the rest to the
  // descriptor: the descriptor at `position` (with or without its signature, with 4- or 8-byte
  // sizes) that states the same compressed size; none when there is none.
  std::optional<TFoundDescriptor> At(int64_t position, uint64_t compressedSize);

 private:
  std::optional<TFoundDescriptor> ScanForSignature(TDataCheck check, int64_t dataStart);
  std::optional<TFoundDescriptor> AfterDeflateStream(int64_t dataStart);
  // Reads `length` bytes at `position` into buffer_, for a descriptor and the record after it;
  // false when the stream cannot go there. `*atEnd`: the stream ends within the bytes read.
  bool ReadTail(int64_t position, size_t length, size_t* count, bool* atEnd);
  // Reads up to `count` bytes into `to`, taking them off the budget; -1 when it is spent.
  int32_t ReadBudgeted(uint8_t* to, int32_t count);

  TStream& archive_;
  int64_t budget_;
  std::function<void()> pump_;
  std::vector<uint8_t> buffer_;
  std::vector<uint8_t> output_;
  std::unique_ptr<TInflateStream> inflate_;  // made by the first deflated entry, then reused
};
