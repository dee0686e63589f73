// TEndCentral: the end of central directory record of an archive, with its optional Zip64 end
// record and locator, the search for it at the end of a stream, and the 64-bit accessors.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "unzip/base/zip_format.h"

class TStream;

// The 56-byte fixed part of the Zip64 end of central directory record. A record created here
// (not read) holds the signature, record size 44, versions 45 and zeros.
struct TZip64EndRecord {
  uint32_t Signature = kZip64EndSignature;
  uint64_t RecordSize = kZip64EndRecordSizeValue;  // bytes after this field
  uint16_t VersionMadeBy = kVersionZip64;
  uint16_t VersionNeeded = kVersionZip64;
  uint32_t ThisDisk = 0;
  uint32_t StartDisk = 0;
  uint64_t EntriesThisDisk = 0;
  uint64_t TotalEntries = 0;
  uint64_t CentralSize = 0;
  uint64_t CentralOffset = 0;

  // The record from its 56 bytes as stored.
  static TZip64EndRecord FromBytes(const uint8_t* raw56);
};

// The 20-byte Zip64 end of central directory locator. A created one holds the signature, zeros
// and one disk in total.
struct TZip64LocatorRecord {
  uint32_t Signature = kZip64LocatorSignature;
  uint32_t EndDisk = 0;    // disk holding the Zip64 end record
  uint64_t EndOffset = 0;  // offset of the Zip64 end record on that disk
  uint32_t TotalDisks = 1;

  static TZip64LocatorRecord FromBytes(const uint8_t* raw20);
};

// The end record search reads the largest comment plus the record's fixed part.
inline constexpr int kEndSearchWindow = kMaxCommentLength + kEndCentralSize;

class TEndCentral {
 public:
  TEndCentral() = default;
  TEndCentral(const TEndCentral&) = delete;
  TEndCentral& operator=(const TEndCentral&) = delete;

  // Finds the end record in the last 65557 bytes of `stream` (read in one piece) and takes its
  // fields; CommentPosition is where its comment starts. The record chosen is the first one from
  // the start of that window whose comment ends exactly at the end of the stream; when none
  // does, the one nearest the end. A Zip64 locator right before it is kept, and the Zip64 end
  // record it points at is read (56 bytes; what the stream lacks reads as zeros, and neither its
  // signature nor its values are checked: the getters use them as they are).
  // An empty stream: true, the values stay as they are. False, the values unchanged: a stream
  // of 1 to 21 bytes, a window that cannot be read whole, no end signature. The stream position
  // afterwards is not defined.
  bool ReadEnd(TStream& stream);

  // Back to the values of a new record: the signature, all numbers 0, no comment, no Zip64
  // records.
  void Clear();
  bool HasComment() const { return CommentLength != 0; }
  // Sets Comment and CommentLength (its length, at most 0xFFFF); CommentChanged is the caller's.
  void SetComment(const std::string& text);
  // Copies Signature..CentralOffset, CommentLength, CommentPosition, and the comment when the
  // source has one loaded (CommentLength then becomes its length; otherwise Comment becomes empty,
  // i.e. not loaded). The Zip64 records and CommentChanged keep this record's values.
  void CopyFrom(const TEndCentral& source);

  // The Zip64 end record's value when the short field holds its marker (0xFFFF, or 0xFFFFFFFF for
  // the offset) and that record exists; otherwise the short field.
  uint32_t GetThisDisk32() const;
  uint32_t GetStartDisk32() const;
  uint64_t GetTotalEntries64() const;
  uint64_t GetCentralOffset64() const;
  // ThisDisk and TotalEntries take a value above 0xFFFE, CentralOffset one at or above 0xFFFFFFFF,
  // as their marker with the value in Zip64End (created when missing). A smaller total also
  // updates an existing Zip64End.
  void SetThisDisk32(uint32_t value);
  void SetTotalEntries64(uint64_t value);
  void SetCentralOffset64(uint64_t value);

  TZip64EndRecord& EnsureZip64End();
  TZip64LocatorRecord& EnsureZip64Locator();

  uint32_t Signature = kEndCentralSignature;
  uint16_t ThisDisk = 0;         // kZip64Marker16: in Zip64End
  uint16_t StartDisk = 0;        // kZip64Marker16: in Zip64End
  uint16_t EntriesThisDisk = 0;  // used in this short form only
  uint16_t TotalEntries = 0;     // kZip64Marker16: in Zip64End
  uint32_t CentralSize = 0;      // used in this short form only
  uint32_t CentralOffset = 0;    // kZip64Marker32: in Zip64End
  uint16_t CommentLength = 0;
  std::string Comment;          // empty until loaded
  int64_t CommentPosition = 0;  // stream position of the first comment byte
  bool CommentChanged = false;  // the caller replaced the comment
  std::unique_ptr<TZip64EndRecord> Zip64End;
  std::unique_ptr<TZip64LocatorRecord> Zip64Locator;
};
