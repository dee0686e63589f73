// TSortedZip: the comparison behind each sort order of the entry collections.
#include "unzip/collections/sorted_zip.h"

#include <string_view>

#include "platform/ascii_case.h"
#include "unzip/records/dos_date_time.h"

namespace {

unsigned char FoldAscii(char c) {
  return static_cast<unsigned char>(platform::UpperAscii(c));
}

// Compares the text a1 + a2 with b1 + b2 without building them: ASCII a-z fold to A-Z, other
// bytes compare by value, and a text that is a prefix of the other sorts first.
int CompareText(std::string_view a1, std::string_view a2, std::string_view b1,
                std::string_view b2) {
  const size_t aLength = a1.size() + a2.size();
  const size_t bLength = b1.size() + b2.size();
  for (size_t i = 0; i < aLength && i < bLength; ++i) {
    const unsigned char a = FoldAscii(i < a1.size() ? a1[i] : a2[i - a1.size()]);
    const unsigned char b = FoldAscii(i < b1.size() ? b1[i] : b2[i - b1.size()]);
    if (a != b) return a < b ? -1 : 1;
  }
  return aLength < bLength ? -1 : (aLength > bLength ? 1 : 0);
}

double DateTimeOf(const TZipHeaderInfo& entry) {
  double dateTime = 0;
  return DosDateTimeToDateTime(entry.DosDateTime, &dateTime) ? dateTime : 0;
}

// +1 when the low 32 bits of `key` minus those of `item`, read as a signed 32-bit number, is
// above 0, else -1. The subtraction wraps in unsigned arithmetic; the conversion to int32_t is
// then modular, so nothing overflows.
int CompareLow32(uint64_t item, uint64_t key) {
  const uint32_t difference = static_cast<uint32_t>(key) - static_cast<uint32_t>(item);
  return static_cast<int32_t>(difference) > 0 ? 1 : -1;
}

template <typename N>
int Sign(N a, N b) {
  return a < b ? -1 : (a > b ? 1 : 0);
}

}  // namespace

int CompressionRate(uint64_t compressed, uint64_t uncompressed) {
  if (uncompressed == 0) return 0;
  if (compressed >= uncompressed) return 100;
  // compressed < uncompressed, so the quotient is below 100; 128 bits hold compressed * 100.
  const unsigned __int128 numerator = static_cast<unsigned __int128>(compressed) * 100;
  auto quotient = static_cast<int>(numerator / uncompressed);
  const unsigned __int128 twiceRemainder = (numerator % uncompressed) * 2;
  if (twiceRemainder > uncompressed || (twiceRemainder == uncompressed && quotient % 2 != 0)) {
    ++quotient;
  }
  return quotient;
}

int TSortedZip::Add(TZipHeaderInfo* item) {
  const int index = TSortedObjectList<TZipHeaderInfo>::Add(item);
  if (index >= 0 && item->Zip64Info) HasZip64Entries = true;
  return index;
}

int TSortedZip::Compare(const TZipHeaderInfo* item, const TZipHeaderInfo* key) const {
  switch (SortMode) {
    case ByName:
      return CompareText(item->Directory, item->FileName, key->Directory, key->FileName);
    case ByFileName:
      return CompareText(item->FileName, {}, key->FileName, {});
    case ByDirectoryName:
      return CompareText(item->Directory, {}, key->Directory, {});
    case ByDate:
      return DateTimeOf(*key) > DateTimeOf(*item) ? 1 : -1;
    case ByCompressedSize:
      return CompareLow32(item->GetCompressedSize64(), key->GetCompressedSize64());
    case ByUnCompressedSize:
      return CompareLow32(item->GetUncompressedSize64(), key->GetUncompressedSize64());
    case ByRate:
      return CompressionRate(key->GetCompressedSize64(), key->GetUncompressedSize64()) -
             CompressionRate(item->GetCompressedSize64(), item->GetUncompressedSize64());
    case ByNone:
      break;
  }
  // ByNone, and any value outside the enumeration: archive order.
  const int disks = Sign(item->GetDiskNumberStart32(), key->GetDiskNumberStart32());
  if (disks != 0) return disks;
  return Sign(item->GetLocalHeaderOffset64(), key->GetLocalHeaderOffset64());
}

bool TSortedZip::CompareIsTransitive() const {
  return SortMode != ByCompressedSize && SortMode != ByUnCompressedSize;
}
