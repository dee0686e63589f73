// TEndCentral: the end record search, its Zip64 records, and the accessors.
#include "unzip/records/end_central.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/stream.h"
#include "unzip/records/little_endian.h"

namespace {

bool IsEndSignature(const uint8_t* p) {
  // One byte first: most positions are not even a "P".
  return p[0] == (kEndCentralSignature & 0xFF) && Le32(p) == kEndCentralSignature;
}

// The offset in `window` of the end record: the first candidate whose comment ends exactly at the
// end of the window (a signature inside that comment is comment text, even one shaped like a whole
// record), else the candidate nearest the end; -1 when there is none.
int64_t FindEndRecord(const uint8_t* window, int64_t size) {
  const int64_t last = size - kEndCentralSize;
  for (int64_t i = 0; i <= last; ++i) {
    if (IsEndSignature(window + i) &&
        i + kEndCentralSize + Le16(window + i + end_record::kCommentLength) == size) {
      return i;
    }
  }
  for (int64_t i = last; i >= 0; --i) {
    if (IsEndSignature(window + i)) return i;
  }
  return -1;
}

}  // namespace

TZip64EndRecord TZip64EndRecord::FromBytes(const uint8_t* raw56) {
  namespace at = zip64_end_record;
  TZip64EndRecord r;
  r.Signature = Le32(raw56);
  r.RecordSize = Le64(raw56 + at::kRecordSize);
  r.VersionMadeBy = Le16(raw56 + at::kVersionMadeBy);
  r.VersionNeeded = Le16(raw56 + at::kVersionNeeded);
  r.ThisDisk = Le32(raw56 + at::kThisDisk);
  r.StartDisk = Le32(raw56 + at::kStartDisk);
  r.EntriesThisDisk = Le64(raw56 + at::kEntriesThisDisk);
  r.TotalEntries = Le64(raw56 + at::kTotalEntries);
  r.CentralSize = Le64(raw56 + at::kCentralSize);
  r.CentralOffset = Le64(raw56 + at::kCentralOffset);
  return r;
}

TZip64LocatorRecord TZip64LocatorRecord::FromBytes(const uint8_t* raw20) {
  TZip64LocatorRecord r;
  r.Signature = Le32(raw20);
  r.EndDisk = Le32(raw20 + zip64_locator::kEndDisk);
  r.EndOffset = Le64(raw20 + zip64_locator::kEndOffset);
  r.TotalDisks = Le32(raw20 + zip64_locator::kTotalDisks);
  return r;
}

bool TEndCentral::ReadEnd(TStream& stream) {
  const int64_t size = stream.GetSize();
  if (size < kEndCentralSize) return size == 0;

  const int64_t windowSize = std::min<int64_t>(kEndSearchWindow, size);
  const int64_t windowStart = size - windowSize;
  std::vector<uint8_t> window(static_cast<size_t>(windowSize));
  if (stream.Seek(windowStart, soBeginning) != windowStart ||
      stream.Read(window.data(), static_cast<int32_t>(windowSize)) != windowSize) {
    return false;
  }
  const int64_t match = FindEndRecord(window.data(), windowSize);
  if (match < 0) return false;

  const uint8_t* record = window.data() + match;
  Signature = kEndCentralSignature;
  namespace at = end_record;
  ThisDisk = Le16(record + at::kThisDisk);
  StartDisk = Le16(record + at::kStartDisk);
  EntriesThisDisk = Le16(record + at::kEntriesThisDisk);
  TotalEntries = Le16(record + at::kTotalEntries);
  CentralSize = Le32(record + at::kCentralSize);
  CentralOffset = Le32(record + at::kCentralOffset);
  CommentLength = Le16(record + at::kCommentLength);
  CommentPosition = windowStart + match + kEndCentralSize;

  // The Zip64 records found now replace any of an archive read before.
  Zip64End.reset();
  Zip64Locator.reset();
  uint8_t locator[kZip64LocatorSize];
  const int64_t locatorPosition = windowStart + match - kZip64LocatorSize;
  if (match >= kZip64LocatorSize) {
    std::memcpy(locator, record - kZip64LocatorSize, kZip64LocatorSize);
  } else if (locatorPosition < 0 || stream.Seek(locatorPosition, soBeginning) != locatorPosition ||
             stream.Read(locator, kZip64LocatorSize) != kZip64LocatorSize) {
    // The locator of a record with the longest comment lies before the window.
    return true;
  }
  if (Le32(locator) != kZip64LocatorSignature) return true;
  Zip64Locator = std::make_unique<TZip64LocatorRecord>(TZip64LocatorRecord::FromBytes(locator));

  uint8_t end[kZip64EndSize] = {};  // what cannot be read stays zero
  const uint64_t endOffset = Zip64Locator->EndOffset;
  // An offset beyond the stream reads nothing, not whatever lies at the current position.
  if (endOffset < static_cast<uint64_t>(size) &&
      stream.Seek(static_cast<int64_t>(endOffset), soBeginning) ==
          static_cast<int64_t>(endOffset)) {
    stream.Read(end, kZip64EndSize);
  }
  Zip64End = std::make_unique<TZip64EndRecord>(TZip64EndRecord::FromBytes(end));
  return true;
}

void TEndCentral::Clear() {
  Signature = kEndCentralSignature;
  ThisDisk = StartDisk = EntriesThisDisk = TotalEntries = 0;
  CentralSize = CentralOffset = 0;
  CommentLength = 0;
  Comment.clear();
  CommentPosition = 0;
  CommentChanged = false;
  Zip64End.reset();
  Zip64Locator.reset();
}

void TEndCentral::SetComment(const std::string& text) {
  Comment = text;
  CommentLength = static_cast<uint16_t>(std::min<size_t>(text.size(), kMaxCommentLength));
}

void TEndCentral::CopyFrom(const TEndCentral& source) {
  if (&source == this) return;
  Signature = source.Signature;
  ThisDisk = source.ThisDisk;
  StartDisk = source.StartDisk;
  EntriesThisDisk = source.EntriesThisDisk;
  TotalEntries = source.TotalEntries;
  CentralSize = source.CentralSize;
  CentralOffset = source.CentralOffset;
  CommentLength = source.CommentLength;
  CommentPosition = source.CommentPosition;
  if (source.Comment.empty()) {
    Comment.clear();
  } else {
    SetComment(source.Comment);
  }
}

uint32_t TEndCentral::GetThisDisk32() const {
  return ThisDisk == kZip64Marker16 && Zip64End ? Zip64End->ThisDisk : ThisDisk;
}

uint32_t TEndCentral::GetStartDisk32() const {
  return StartDisk == kZip64Marker16 && Zip64End ? Zip64End->StartDisk : StartDisk;
}

uint64_t TEndCentral::GetTotalEntries64() const {
  return TotalEntries == kZip64Marker16 && Zip64End ? Zip64End->TotalEntries : TotalEntries;
}

uint64_t TEndCentral::GetCentralOffset64() const {
  return CentralOffset == kZip64Marker32 && Zip64End ? Zip64End->CentralOffset : CentralOffset;
}

void TEndCentral::SetThisDisk32(uint32_t value) {
  if (value >= kZip64Marker16) {
    EnsureZip64End().ThisDisk = value;
    ThisDisk = kZip64Marker16;
  } else {
    ThisDisk = static_cast<uint16_t>(value);
  }
}

void TEndCentral::SetTotalEntries64(uint64_t value) {
  if (value >= kZip64Marker16) {
    EnsureZip64End().TotalEntries = value;
    TotalEntries = kZip64Marker16;
  } else {
    TotalEntries = static_cast<uint16_t>(value);
    if (Zip64End) Zip64End->TotalEntries = value;
  }
}

void TEndCentral::SetCentralOffset64(uint64_t value) {
  if (value >= kZip64Marker32) {
    EnsureZip64End().CentralOffset = value;
    CentralOffset = kZip64Marker32;
  } else {
    CentralOffset = static_cast<uint32_t>(value);
  }
}

TZip64EndRecord& TEndCentral::EnsureZip64End() {
  if (!Zip64End) Zip64End = std::make_unique<TZip64EndRecord>();
  return *Zip64End;
}

TZip64LocatorRecord& TEndCentral::EnsureZip64Locator() {
  if (!Zip64Locator) Zip64Locator = std::make_unique<TZip64LocatorRecord>();
  return *Zip64Locator;
}
