// TSortedZip: a sorted collection of entry records, in one of eight orders (archive order,
// names, date, sizes, compression rate).
#pragma once

#include <cstdint>

#include "unzip/collections/sorted_object_list.h"
#include "unzip/records/zip_header_info.h"

enum TZipSortMode : uint8_t {
  ByName = 0,            // Directory + FileName, ASCII case ignored
  ByFileName = 1,        // FileName, ASCII case ignored
  ByDirectoryName = 2,   // Directory, ASCII case ignored
  ByDate = 3,            // newest first
  ByCompressedSize = 4,  // largest first
  ByUnCompressedSize = 5,
  ByRate = 6,  // least compressed first
  ByNone = 7,  // archive order: part, then local header offset
};

// The main entry list is created with DupError and owns its entries; additional sorted views of
// the same entries use DupAccept and own nothing. SortMode must be set before items are added:
// changing it does not reorder the list.
class TSortedZip : public TSortedObjectList<TZipHeaderInfo> {
 public:
  TSortedZip(TDuplicates duplicates, bool ownsObjects)
      : TSortedObjectList<TZipHeaderInfo>(duplicates, ownsObjects) {}

  // Sorted insertion (see TSortedObjectList::Add); an inserted entry that has a Zip64Info sets
  // HasZip64Entries.
  int Add(TZipHeaderInfo* item) override;

  // ByDate, ByCompressedSize and ByUnCompressedSize never answer 0, so a view in those orders
  // never holds duplicates and puts equal entries in the order they were added. ByNone compares
  // by sign only (-1, 0, +1).
  int Compare(const TZipHeaderInfo* item, const TZipHeaderInfo* key) const override;

  // The size orders compare the low 32 bits by a wrapping difference, which is not transitive
  // for sizes 2 GiB or more apart: their views are built one insertion at a time.
  bool CompareIsTransitive() const override;

  TZipSortMode SortMode = ByNone;
  bool HasZip64Entries = false;
};

// min(100, compressed * 100 / uncompressed rounded to nearest, halves to even), 0 for an empty
// entry. Exact for all 64-bit sizes.
int CompressionRate(uint64_t compressed, uint64_t uncompressed);
