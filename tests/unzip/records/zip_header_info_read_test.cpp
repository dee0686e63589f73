// Tests of the entry record's reading of central and local headers with their extra fields
// (Zip64, Unicode path, AES), across the parts of a split archive and beyond 4 GiB.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/code_pages.h"
#include "platform/stream.h"
#include "support/memory_stream.h"
#include "support/zip_writer.h"
#include "unzip/records/zip_header_info.h"

namespace {

using test::ZipArchive;
using test::ZipEntry;
using test::ZipLayout;

// An archive of the given entries, with where its records lie.
struct Built {
  std::string bytes;
  ZipLayout layout;
};

Built Build(std::vector<ZipEntry> entries) {
  ZipArchive archive;
  archive.entries = std::move(entries);
  Built built;
  built.bytes = test::BuildZip(archive, &built.layout);
  return built;
}

// Reads the central header of entry `index` into `e`; the stream is handed back for checks.
bool ReadCentral(const Built& built, TZipHeaderInfo& e, test::MemoryStream& stream,
                 size_t index = 0) {
  stream.data = built.bytes;
  stream.position = static_cast<int64_t>(built.layout.centralHeaderOffsets[index]);
  TStream* s = &stream;
  return e.ReadCentralHeader(s);
}

ZipEntry PlainEntry(const std::string& name) {
  return test::StoredEntry(name, "hello");
}

TEST(ZipHeaderInfoReadTest, CentralHeaderFields) {
  ZipEntry entry = PlainEntry("docs/readme.txt");
  entry.versionMadeBy = 0x0B3F;
  entry.versionNeeded = 45;
  entry.flags = 0x0008;
  entry.method = 8;
  entry.crc = 0xCAFEBABE;
  entry.compressedSize = 1234;
  entry.uncompressedSize = 5678;
  entry.centralExtra = test::ExtraBlock(0x000A, std::string(32, 'n'));
  entry.comment = "note";
  entry.diskNumberStart = 3;
  entry.internalAttributes = 1;
  entry.externalAttributes = 0x81A40020;
  entry.localHeaderOffset = 0x01020304;
  const Built built = Build({PlainEntry("first"), entry});

  TZipHeaderInfo e;
  e.LocalExtraLength = 77;
  e.Comment = "stale";
  e.Matched = e.Selected = true;
  test::MemoryStream stream;
  ASSERT_TRUE(ReadCentral(built, e, stream, 1));
  EXPECT_EQ(e.VersionMadeBy, 0x0B3F);
  EXPECT_EQ(e.VersionNeeded, 45);
  EXPECT_EQ(e.Flags, 0x0008);
  EXPECT_EQ(e.CompressionMethod, 8);
  EXPECT_EQ(e.DosDateTime, test::kSomeDosDateTime);
  EXPECT_EQ(e.Crc, 0xCAFEBABEu);
  EXPECT_EQ(e.CompressedSize, 1234u);
  EXPECT_EQ(e.UncompressedSize, 5678u);
  EXPECT_EQ(e.CentralExtraLength, 36);
  EXPECT_EQ(e.SavedCentralExtraLength, 36);
  EXPECT_EQ(e.LocalExtraLength, 77);  // not touched
  EXPECT_EQ(e.CommentLength, 4);
  EXPECT_EQ(e.Comment, "");  // not loaded here
  EXPECT_EQ(e.DiskNumberStart, 3);
  EXPECT_EQ(e.InternalAttributes, 1);
  EXPECT_EQ(e.ExternalAttributes, 0x81A40020u);
  EXPECT_EQ(e.LocalHeaderOffset, 0x01020304u);
  EXPECT_EQ(e.CentralHeaderOffset, static_cast<int64_t>(built.layout.centralHeaderOffsets[1]));
  EXPECT_EQ(e.Directory, "docs\\");
  EXPECT_EQ(e.FileName, "readme.txt");
  EXPECT_EQ(e.NameLength, 15);
  EXPECT_FALSE(e.Matched || e.Selected);
  // The stream waits at the extra field, for the caller to skip it and the comment.
  const int64_t extraStart = e.CentralHeaderOffset + 46 + 15;
  EXPECT_EQ(e.CentralExtraOffset, extraStart);
  EXPECT_EQ(stream.position, extraStart);
}

TEST(ZipHeaderInfoReadTest, NamesAndDatesAsRead) {
  const struct {
    const char* name;
    uint32_t dosDateTime;
    const char* directory;
    const char* fileName;
    uint32_t expectedDateTime;
  } cases[] = {
      {"dir/sub/", test::kSomeDosDateTime, "dir\\sub\\", "", test::kSomeDosDateTime},
      {"readme.txt", test::kSomeDosDateTime, "", "readme.txt", test::kSomeDosDateTime},
      {"C:x", test::kSomeDosDateTime, "C:\\", "x", test::kSomeDosDateTime},
      // A date-time of 0 is 1980-01-01 00:00:00 once month and day are repaired.
      {"a", 0, "", "a", 0x00210000},
  };
  for (const auto& c : cases) {
    ZipEntry entry = PlainEntry(c.name);
    entry.dosDateTime = c.dosDateTime;
    TZipHeaderInfo e;
    test::MemoryStream stream;
    ASSERT_TRUE(ReadCentral(Build({entry}), e, stream)) << c.name;
    EXPECT_EQ(e.Directory, c.directory) << c.name;
    EXPECT_EQ(e.FileName, c.fileName) << c.name;
    EXPECT_EQ(e.DosDateTime, c.expectedDateTime) << c.name;
  }
}

TEST(ZipHeaderInfoReadTest, NameRuleUsesFlagHostAndPolicy) {
  if (platform::OemCodePage() != 437) {
    GTEST_SKIP() << "the OEM code page here is " << platform::OemCodePage() << ", not 437";
  }
  const std::string utf8 = "\xC3\xBC.txt";                     // ü.txt
  const std::string asCp437 = "\xE2\x94\x9C\xE2\x95\x9D.txt";  // ├╝.txt
  const struct {
    uint16_t madeBy, flags;
    TOEMConvert policy;
    const std::string& expected;
  } cases[] = {
      {test::kMadeByDos, 0, oemFlexible, asCp437},
      {test::kMadeByDos, 0x0800, oemFlexible, utf8},
      {test::kMadeByUnix, 0, oemFlexible, utf8},
      {0x0B14, 0, oemFlexible, asCp437},  // host 11 is no Unix
      {test::kMadeByDos, 0, oemNever, utf8},
  };
  for (const auto& c : cases) {
    ZipEntry entry = PlainEntry(utf8);
    entry.versionMadeBy = c.madeBy;
    entry.flags = c.flags;
    const Built built = Build({entry});
    TZipHeaderInfo e;
    e.OEMConvert = c.policy;
    test::MemoryStream stream;
    ASSERT_TRUE(ReadCentral(built, e, stream));
    EXPECT_EQ(e.FileName, c.expected)
        << c.madeBy << " " << c.flags << " " << static_cast<int>(c.policy);

    // A local header has no host: only the flag keeps the name out of the OEM test.
    TZipHeaderInfo l;
    l.OEMConvert = c.policy;
    stream.position = 0;
    ASSERT_TRUE(l.ReadLocalHeader(stream));
    const bool oem = c.policy == oemFlexible && c.flags == 0;
    EXPECT_EQ(l.FileName, oem ? asCp437 : utf8) << c.madeBy << " " << c.flags;
  }
}

TEST(ZipHeaderInfoReadTest, ConvertOemNameOnlyUnderOemFlexible) {
  if (platform::OemCodePage() != 437) {
    GTEST_SKIP() << "the OEM code page here is " << platform::OemCodePage() << ", not 437";
  }
  TZipHeaderInfo e;
  std::string name = "\x81";
  EXPECT_FALSE(e.ConvertOemName(name));
  EXPECT_EQ(name, "\x81");
  e.OEMConvert = oemFlexible;
  EXPECT_TRUE(e.ConvertOemName(name));
  EXPECT_EQ(name, "\xC3\xBC");
}

TEST(ZipHeaderInfoReadTest, ShortOrForeignCentralHeaderLeavesTheStreamAtItsStart) {
  ZipEntry entry = PlainEntry("name.txt");
  entry.centralExtra = test::Zip64Extra({});
  const Built built = Build({entry});
  const size_t start = built.layout.centralHeaderOffsets[0];
  const size_t headerAndName = 46 + 8;
  for (size_t length = 0; length < headerAndName; ++length) {
    test::MemoryStream stream(built.bytes.substr(0, start + length));
    stream.position = static_cast<int64_t>(start);
    TStream* s = &stream;
    TZipHeaderInfo e;
    EXPECT_FALSE(e.ReadCentralHeader(s)) << length;
    EXPECT_EQ(stream.position, static_cast<int64_t>(start)) << length;
  }
  // The extra field may be missing: it is read when there and parsed as far as it goes.
  test::MemoryStream cut(built.bytes.substr(0, start + headerAndName));
  cut.position = static_cast<int64_t>(start);
  TStream* s = &cut;
  TZipHeaderInfo e;
  EXPECT_TRUE(e.ReadCentralHeader(s));
  EXPECT_EQ(cut.position, static_cast<int64_t>(start + headerAndName));

  // Another record where a central header should be.
  for (size_t at : {built.layout.localHeaderOffsets[0], built.layout.endOffset}) {
    test::MemoryStream stream(built.bytes);
    stream.position = static_cast<int64_t>(at);
    TStream* p = &stream;
    TZipHeaderInfo f;
    EXPECT_FALSE(f.ReadCentralHeader(p));
    EXPECT_EQ(stream.position, static_cast<int64_t>(at));
  }
}

// ---- Zip64 values ----------------------------------------------------------------------------

const uint64_t kBigUncompressed = 0x100000001, kBigCompressed = 0x200000002,
               kBigOffset = 0x300000003;
const uint32_t kBigDisk = 0x40004;

// Each combination of markers, with a block that holds exactly the values they call for, with
// one that lacks the last of them, and without a block.
TEST(ZipHeaderInfoReadTest, Zip64BlockForEveryMarkerCombination) {
  for (int markers = 0; markers < 16; ++markers) {
    const bool u = markers & 1, c = markers & 2, o = markers & 4, d = markers & 8;
    std::vector<uint64_t> wide;
    if (u) wide.push_back(kBigUncompressed);
    if (c) wide.push_back(kBigCompressed);
    if (o) wide.push_back(kBigOffset);
    for (int variant = 0; variant < 3; ++variant) {  // whole block, one value short, no block
      std::string data;
      for (uint64_t v : wide) data += test::Le64(v);
      if (d) data += test::Le32(kBigDisk);
      const size_t lastWidth = d ? 4 : wide.empty() ? 0 : 8;
      if (variant == 1) {
        if (lastWidth == 0) continue;
        data.resize(data.size() - 1);
      }
      ZipEntry entry = PlainEntry("big.bin");
      if (u) entry.uncompressedSize = 0xFFFFFFFF;
      if (c) entry.compressedSize = 0xFFFFFFFF;
      if (o) entry.localHeaderOffset = 0xFFFFFFFF;
      if (d) entry.diskNumberStart = 0xFFFF;
      if (variant != 2) entry.centralExtra = test::ExtraBlock(0x0001, data);
      TZipHeaderInfo e;
      test::MemoryStream stream;
      ASSERT_TRUE(ReadCentral(Build({entry}), e, stream));
      const bool complete = variant == 0 || markers == 0;
      const std::string label =
          "markers " + std::to_string(markers) + " variant " + std::to_string(variant);
      EXPECT_EQ(e.HasMissingZip64Values(), !complete) << label;
      if (variant == 0) {
        EXPECT_EQ(e.GetUncompressedSize64(), u ? kBigUncompressed : 5u) << label;
        EXPECT_EQ(e.GetCompressedSize64(), c ? kBigCompressed : 5u) << label;
        EXPECT_EQ(e.GetLocalHeaderOffset64(), o ? kBigOffset : 0u) << label;
        EXPECT_EQ(e.GetDiskNumberStart32(), d ? kBigDisk : 0u) << label;
        EXPECT_EQ(e.Zip64ExtraLength, data.size() + 4) << label;
      }
      if (variant == 1) {
        // The values before the short one are still taken.
        if (u && (c || o || d)) {
          EXPECT_EQ(e.GetUncompressedSize64(), kBigUncompressed) << label;
        }
      }
    }
  }
}

TEST(ZipHeaderInfoReadTest, Zip64BlockCases) {
  const struct {
    const char* label;
    bool compressedMarker, uncompressedMarker;
    std::string extra;
    uint16_t extraLength;  // 0: the real length
    bool missing;
    std::optional<uint64_t> compressed;  // none: no value to speak of
    bool hasAes;
  } cases[] = {
      // Compressed size marked, uncompressed not: the first 8 bytes are the compressed size.
      {"compressed only", true, false, test::Zip64Extra({kBigCompressed}), 0, false, kBigCompressed,
       false},
      // A 4-byte disk number cannot stand in for an 8-byte size.
      {"too short", true, false, test::ExtraBlock(0x0001, test::Le32(7)), 0, true, {}, false},
      // Parsing goes on right after the values taken: what follows in the block is read as
      // blocks.
      {"continues after the values", true, false,
       test::ExtraBlock(0x0001, test::Le64(kBigCompressed) + test::AesExtra(3, 8)), 0, false,
       kBigCompressed, true},
      // A block claiming more than the extra area holds ends the parsing: no value is taken.
      {"runs past the area",
       true,
       false,
       test::ExtraBlock(0x0001, test::Le64(kBigCompressed), 16),
       0,
       true,
       {},
       false},
      // The extra length claims more than the archive has: the bytes there are parsed.
      {"extra length past the data", true, false, test::Zip64Extra({kBigCompressed}), 0xFFFF, false,
       kBigCompressed, false},
      // Other blocks before it are skipped by their size.
      {"after other blocks", true, true,
       test::ExtraBlock(0x000A, std::string(32, 'n')) + test::ExtraBlock(0x5455, "x") +
           test::Zip64Extra({1, kBigCompressed}),
       0, false, kBigCompressed, false},
      // Two blocks: the later one wins.
      {"two blocks", true, false,
       test::Zip64Extra({kBigUncompressed}) + test::Zip64Extra({kBigCompressed}), 0, false,
       kBigCompressed, false},
  };
  for (const auto& c : cases) {
    ZipEntry entry = PlainEntry("x");
    if (c.compressedMarker) entry.compressedSize = 0xFFFFFFFF;
    if (c.uncompressedMarker) entry.uncompressedSize = 0xFFFFFFFF;
    ZipArchive archive;
    if (c.extraLength != 0) {
      // The central header is the last thing in the stream.
      entry.centralExtraLength = c.extraLength;
      archive.writeEnd = false;
    }
    entry.centralExtra = c.extra;
    archive.entries = {entry};
    ZipLayout layout;
    test::MemoryStream stream(test::BuildZip(archive, &layout));
    stream.position = static_cast<int64_t>(layout.centralHeaderOffsets[0]);
    TStream* s = &stream;
    TZipHeaderInfo e;
    ASSERT_TRUE(e.ReadCentralHeader(s)) << c.label;
    EXPECT_EQ(e.HasMissingZip64Values(), c.missing) << c.label;
    if (c.compressed) {
      EXPECT_EQ(e.GetCompressedSize64(), *c.compressed) << c.label;
    }
    EXPECT_EQ(e.AesInfo != nullptr, c.hasAes) << c.label;
    EXPECT_EQ(stream.position, e.CentralExtraOffset) << c.label;
  }
}

TEST(ZipHeaderInfoReadTest, ReadingAgainDropsTheValuesOfTheEntryBefore) {
  ZipEntry big = PlainEntry("big");
  big.compressedSize = 0xFFFFFFFF;
  big.method = 99;
  big.centralExtra = test::Zip64Extra({kBigCompressed}) + test::AesExtra(3, 8) +
                     test::UnicodePathExtra("u", "big");
  ZipEntry small = PlainEntry("small");
  small.compressedSize = 0xFFFFFFFF;  // but no Zip64 block
  const Built built = Build({big, small});
  TZipHeaderInfo e;
  test::MemoryStream stream;
  ASSERT_TRUE(ReadCentral(built, e, stream, 0));
  EXPECT_EQ(e.GetCompressedSize64(), kBigCompressed);
  EXPECT_EQ(e.EncryptionStrength, 3);
  ASSERT_TRUE(ReadCentral(built, e, stream, 1));
  EXPECT_FALSE(e.Zip64Info || e.AesInfo || e.UnicodePathInfo);
  EXPECT_EQ(e.EncryptionStrength, 0);
  EXPECT_TRUE(e.HasMissingZip64Values());
  EXPECT_EQ(e.FileName, "small");
}

TEST(ZipHeaderInfoReadTest, HasMissingZip64ValuesFollowsTheSetters) {
  TZipHeaderInfo e;
  e.CompressedSize = 0xFFFFFFFF;
  EXPECT_TRUE(e.HasMissingZip64Values());
  e.SetCompressedSize64(kBigCompressed);
  EXPECT_FALSE(e.HasMissingZip64Values());
  e.DiskNumberStart = 0xFFFF;
  EXPECT_TRUE(e.HasMissingZip64Values());
  e.SetDiskNumberStart32(0x10000);
  EXPECT_FALSE(e.HasMissingZip64Values());
  e.SetDiskNumberStart32(1);
  EXPECT_FALSE(e.HasMissingZip64Values());
}

// ---- Unicode path and AES blocks -----------------------------------------------------------

TEST(ZipHeaderInfoReadTest, UnicodePathBlock) {
  const struct {
    const char* label;
    std::string extra;
    const char* directory;
    const char* fileName;
    bool hasInfo;
  } cases[] = {
      {"replaces the name, slashes turned", test::UnicodePathExtra("d\xC3\xA9/f\xC3\xBC.txt", "x"),
       "d\xC3\xA9\\", "f\xC3\xBC.txt", true},
      {"not UTF-8: the header name stays", test::UnicodePathExtra("\xFF", "x"), "old\\", "x", true},
      {"empty: the header name stays", test::UnicodePathExtra("", "x"), "old\\", "x", true},
      {"too short to hold a CRC", test::ExtraBlock(0x7075, "\x01\x02"), "old\\", "x", false},
  };
  for (const auto& c : cases) {
    ZipEntry entry = PlainEntry("old/x");
    entry.centralExtra = c.extra;
    TZipHeaderInfo e;
    test::MemoryStream stream;
    ASSERT_TRUE(ReadCentral(Build({entry}), e, stream)) << c.label;
    EXPECT_EQ(e.Directory, c.directory) << c.label;
    EXPECT_EQ(e.FileName, c.fileName) << c.label;
    EXPECT_EQ(e.NameLength, e.Directory.size() + e.FileName.size()) << c.label;
    ASSERT_EQ(e.UnicodePathInfo != nullptr, c.hasInfo) << c.label;
    if (c.hasInfo) {
      EXPECT_EQ(e.UnicodePathInfo->BlockVersion, 1) << c.label;
      EXPECT_EQ(e.UnicodePathInfo->NameCrc, test::Crc32("x")) << c.label;
      EXPECT_EQ(e.UnicodePathInfo->DataSize, c.extra.size() - 4) << c.label;
    }
  }
}

TEST(ZipHeaderInfoReadTest, AesBlockAndMethod99) {
  const struct {
    const char* label;
    uint16_t method;
    std::string extra;
    uint16_t method_after;
    uint8_t strength;
    bool hasAes;
  } cases[] = {
      {"AES entry", 99, test::AesExtra(3, 8), 8, 3, true},
      {"strength above 3 kept as read", 99, test::AesExtra(7, 0), 0, 7, true},
      {"method 99 without a block", 99, "", 0, 0, true},
      {"block too short", 99,
       test::ExtraBlock(0x9901, std::string("\x02\x00"
                                            "AE",
                                            4)),
       0, 0, true},
      {"block on a plain entry", 8, test::AesExtra(1, 0), 8, 0, true},
      {"neither", 8, "", 8, 0, false},
  };
  for (const auto& c : cases) {
    ZipEntry entry = PlainEntry("x");
    entry.method = c.method;
    entry.centralExtra = c.extra;
    TZipHeaderInfo e;
    test::MemoryStream stream;
    ASSERT_TRUE(ReadCentral(Build({entry}), e, stream)) << c.label;
    EXPECT_EQ(e.CompressionMethod, c.method_after) << c.label;
    EXPECT_EQ(e.EncryptionStrength, c.strength) << c.label;
    ASSERT_EQ(e.AesInfo != nullptr, c.hasAes) << c.label;
    if (c.hasAes && c.extra.size() == 11) {
      EXPECT_EQ(e.AesInfo->VendorVersion, 2) << c.label;
      EXPECT_EQ(e.AesInfo->VendorId, 0x4541) << c.label;
    }
  }
}

// ---- The next part of a split archive --------------------------------------------------------

TEST(ZipHeaderInfoReadTest, HeaderSplitBetweenPartsIsJoined) {
  const Built built = Build({PlainEntry("dir/split.txt")});
  const std::string central = built.bytes.substr(built.layout.centralHeaderOffsets[0]);
  for (size_t cut : {0, 2, 4, 10, 45}) {
    test::MemoryStream first("junk" + central.substr(0, cut));
    first.position = 4;
    test::MemoryStream second(central.substr(cut));
    TStream* s = &first;
    int calls = 0;
    TZipHeaderInfo e;
    ASSERT_TRUE(e.ReadCentralHeader(s, [&](TZipHeaderInfo* entry, TStream*& stream) {
      EXPECT_EQ(entry, &e);
      ++calls;
      stream = &second;
    })) << cut;
    EXPECT_EQ(calls, 1) << cut;
    EXPECT_EQ(s, &second) << cut;
    EXPECT_EQ(e.Directory, "dir\\") << cut;
    EXPECT_EQ(e.FileName, "split.txt") << cut;
    EXPECT_EQ(e.CentralHeaderOffset, 4) << cut;
    EXPECT_EQ(second.position, static_cast<int64_t>(46 + 13 - cut)) << cut;
  }
}

TEST(ZipHeaderInfoReadTest, NextPartOnlyForTheStartOfACentralHeader) {
  const Built built = Build({PlainEntry("x")});
  const std::string central = built.bytes.substr(built.layout.centralHeaderOffsets[0]);
  // Bytes that are no central signature: no switch.
  test::MemoryStream local(built.bytes.substr(0, 20));
  TStream* s = &local;
  TZipHeaderInfo e;
  int calls = 0;
  EXPECT_FALSE(e.ReadCentralHeader(s, [&](TZipHeaderInfo*, TStream*&) { ++calls; }));
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(local.position, 0);

  // The next part ends too soon: false, and that part is back where the switch left it.
  test::MemoryStream first(central.substr(0, 10));
  test::MemoryStream second(central.substr(10, 20));
  s = &first;
  EXPECT_FALSE(
      e.ReadCentralHeader(s, [&](TZipHeaderInfo*, TStream*& stream) { stream = &second; }));
  EXPECT_EQ(s, &second);
  EXPECT_EQ(second.position, 0);

  // No callback: a header cut short is simply not there.
  test::MemoryStream cut(central.substr(0, 10));
  s = &cut;
  EXPECT_FALSE(e.ReadCentralHeader(s));
  EXPECT_EQ(cut.position, 0);
}

// ---- Local headers ---------------------------------------------------------------------------

TEST(ZipHeaderInfoReadTest, LocalHeaderFields) {
  ZipEntry entry = PlainEntry("dir/local.txt");
  entry.versionNeeded = 20;
  entry.flags = 0x0809;
  entry.method = 8;
  entry.dosDateTime = 0;
  entry.crc = 0x11223344;
  entry.compressedSize = 10;
  entry.uncompressedSize = 20;
  entry.localExtra = test::ExtraBlock(0x000A, std::string(12, 'n'));
  const Built built = Build({PlainEntry("first"), entry});

  TZipHeaderInfo e;
  e.VersionMadeBy = 63;
  e.CommentLength = 3;
  e.DiskNumberStart = 2;
  e.ExternalAttributes = 0x10;
  e.CentralHeaderOffset = 99;
  e.CentralExtraLength = 44;
  test::MemoryStream stream(built.bytes);
  const int64_t start = static_cast<int64_t>(built.layout.localHeaderOffsets[1]);
  stream.position = start;
  ASSERT_TRUE(e.ReadLocalHeader(stream));
  EXPECT_EQ(e.VersionMadeBy, 0);
  EXPECT_EQ(e.VersionNeeded, 20);
  EXPECT_EQ(e.Flags, 0x0809);
  EXPECT_EQ(e.CompressionMethod, 8);
  EXPECT_EQ(e.DosDateTime, 0x00210000u);
  EXPECT_EQ(e.Crc, 0x11223344u);
  EXPECT_EQ(e.CompressedSize, 10u);
  EXPECT_EQ(e.UncompressedSize, 20u);
  EXPECT_EQ(e.LocalExtraLength, 16);
  EXPECT_EQ(e.CentralExtraLength, 44);  // not touched
  EXPECT_EQ(e.CommentLength | e.DiskNumberStart | e.InternalAttributes, 0);
  EXPECT_EQ(e.ExternalAttributes, 0u);
  EXPECT_EQ(e.CentralHeaderOffset, 0);
  EXPECT_EQ(e.LocalHeaderOffset, static_cast<uint32_t>(start));
  EXPECT_EQ(e.Directory, "dir\\");
  EXPECT_EQ(e.FileName, "local.txt");
  EXPECT_EQ(stream.position, start + 30 + 13);  // at the local extra field
}

TEST(ZipHeaderInfoReadTest, ShortOrForeignLocalHeaderLeavesTheStreamAtItsStart) {
  const Built built = Build({PlainEntry("name.txt")});
  for (size_t length = 0; length < 30 + 8; ++length) {
    test::MemoryStream stream("xy" + built.bytes.substr(0, length));
    stream.position = 2;
    TZipHeaderInfo e;
    EXPECT_FALSE(e.ReadLocalHeader(stream)) << length;
    EXPECT_EQ(stream.position, 2) << length;
  }
  test::MemoryStream stream(built.bytes);
  stream.position = static_cast<int64_t>(built.layout.centralHeaderOffsets[0]);
  TZipHeaderInfo e;
  EXPECT_FALSE(e.ReadLocalHeader(stream));
  EXPECT_EQ(stream.position, static_cast<int64_t>(built.layout.centralHeaderOffsets[0]));
}

TEST(ZipHeaderInfoReadTest, LocalExtraFieldsGiveTheZip64Sizes) {
  const struct {
    const char* label;
    bool compressedMarker, uncompressedMarker;
    std::string extra;
    bool missing;
    std::optional<uint64_t> compressed;  // none: no value to speak of
    uint64_t uncompressed;
  } cases[] = {
      // A local Zip64 block holds both sizes, uncompressed first.
      {"both marked", true, true, test::Zip64Extra({kBigUncompressed, kBigCompressed}), false,
       kBigCompressed, kBigUncompressed},
      {"compressed marked, both in the block", true, false,
       test::Zip64Extra({kBigUncompressed, kBigCompressed}), false, kBigCompressed, 5},
      {"compressed marked, one value", true, false, test::Zip64Extra({kBigCompressed}), false,
       kBigCompressed, 5},
      {"block too short",
       true,
       true,
       test::Zip64Extra({kBigUncompressed}),
       true,
       {},
       kBigUncompressed},
      {"no block", true, false, test::ExtraBlock(0x000A, "abcd"), true, {}, 5},
      {"no markers", false, false, test::Zip64Extra({0, 0}), false, 5, 5},
  };
  for (const auto& c : cases) {
    ZipEntry entry = PlainEntry("z");
    if (c.compressedMarker) entry.localCompressedSize = 0xFFFFFFFF;
    if (c.uncompressedMarker) entry.localUncompressedSize = 0xFFFFFFFF;
    entry.localExtra = c.extra;
    const Built built = Build({entry});
    test::MemoryStream stream(built.bytes);
    TZipHeaderInfo e;
    ASSERT_TRUE(e.ReadLocalHeader(stream)) << c.label;
    e.ReadLocalExtraFields(stream);
    EXPECT_EQ(e.HasMissingZip64Values(), c.missing) << c.label;
    if (c.compressed) {
      EXPECT_EQ(e.GetCompressedSize64(), *c.compressed) << c.label;
    }
    EXPECT_EQ(e.GetUncompressedSize64(), c.uncompressed) << c.label;
    EXPECT_EQ(stream.position, static_cast<int64_t>(built.layout.dataOffsets[0])) << c.label;
  }
}

// The bytes of `data` as if they lay `base` bytes into a larger stream.
class FarStream : public TStream {
 public:
  FarStream(std::string data, int64_t base) : data_(std::move(data)), base_(base), at_(base) {}
  int64_t GetSize() override { return base_ + static_cast<int64_t>(data_.size()); }
  int32_t Read(void* buffer, int32_t count) override {
    if (at_ < base_ || count <= 0) return 0;
    const size_t from = static_cast<size_t>(at_ - base_);
    const size_t n =
        std::min(static_cast<size_t>(count), data_.size() - std::min(from, data_.size()));
    std::memcpy(buffer, data_.data() + from, n);
    at_ += static_cast<int64_t>(n);
    return static_cast<int32_t>(n);
  }
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override {
    const int64_t target = (origin == soBeginning ? 0
                            : origin == soCurrent ? at_
                                                  : GetSize()) +
                           offset;
    if (target < 0) return -1;
    return at_ = target;
  }

 private:
  std::string data_;
  int64_t base_;
  int64_t at_;
};

TEST(ZipHeaderInfoReadTest, LocalHeaderBeyond4GiB) {
  ZipEntry entry = PlainEntry("far");
  entry.localCompressedSize = 0xFFFFFFFF;
  entry.localUncompressedSize = 0xFFFFFFFF;
  entry.localExtra = test::Zip64Extra({kBigUncompressed, kBigCompressed});
  const int64_t base = 0x100000000;
  FarStream stream(Build({entry}).bytes, base);
  TZipHeaderInfo e;
  ASSERT_TRUE(e.ReadLocalHeader(stream));
  e.ReadLocalExtraFields(stream);
  EXPECT_EQ(e.LocalHeaderOffset, 0xFFFFFFFFu);
  EXPECT_EQ(e.GetLocalHeaderOffset64(), static_cast<uint64_t>(base));
  EXPECT_EQ(e.GetUncompressedSize64(), kBigUncompressed);
  EXPECT_EQ(e.GetCompressedSize64(), kBigCompressed);
  EXPECT_FALSE(e.HasMissingZip64Values());
  EXPECT_EQ(stream.Position(), base + 30 + 3 + 20);

  // A local block never holds the offset, whatever its size.
  ZipEntry small = PlainEntry("far");
  small.localExtra = test::Zip64Extra({7});
  FarStream smallStream(Build({small}).bytes, base);
  TZipHeaderInfo f;
  ASSERT_TRUE(f.ReadLocalHeader(smallStream));
  f.ReadLocalExtraFields(smallStream);
  EXPECT_EQ(f.GetLocalHeaderOffset64(), static_cast<uint64_t>(base));
  EXPECT_EQ(f.GetCompressedSize64(), 5u);
  EXPECT_FALSE(f.HasMissingZip64Values());
}

TEST(ZipHeaderInfoReadTest, LocalExtraFieldsGiveTheAesMethodAndUnicodeName) {
  ZipEntry entry = PlainEntry("x");
  entry.method = 99;
  entry.localExtra = test::AesExtra(2, 8) + test::UnicodePathExtra("a/\xC3\xBC", "x");
  test::MemoryStream stream(Build({entry}).bytes);
  TZipHeaderInfo e;
  ASSERT_TRUE(e.ReadLocalHeader(stream));
  e.ReadLocalExtraFields(stream);
  EXPECT_EQ(e.CompressionMethod, 8);
  EXPECT_EQ(e.EncryptionStrength, 2);
  EXPECT_EQ(e.Directory, "a\\");
  EXPECT_EQ(e.FileName, "\xC3\xBC");
}

}  // namespace
