// Tests of the entry record: creation values, setters, 64-bit accessors, queries and CopyFrom
// (zip_header_info_read_test.cpp has the reading of the headers).
#include "unzip/records/zip_header_info.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace {

TEST(ZipHeaderInfoTest, NewRecordHoldsTheCreationValues) {
  TZipHeaderInfo e;
  EXPECT_EQ(e.VersionMadeBy, 45);
  EXPECT_EQ(e.VersionNeeded, 20);
  EXPECT_EQ(e.Flags, 0);
  EXPECT_EQ(e.CompressionMethod, 8);
  EXPECT_EQ(e.DosDateTime, 0u);
  EXPECT_EQ(e.Crc, 0xFFFFFFFFu);
  EXPECT_EQ(e.CompressedSize, 0u);
  EXPECT_EQ(e.UncompressedSize, 0u);
  for (uint16_t length : {e.NameLength, e.CentralExtraLength, e.LocalExtraLength, e.CommentLength,
                          e.SavedCentralExtraLength, e.Zip64ExtraLength, e.DiskNumberStart}) {
    EXPECT_EQ(length, 0);
  }
  EXPECT_EQ(e.InternalAttributes, 1);
  EXPECT_EQ(e.ExternalAttributes, 0x20u);
  EXPECT_EQ(e.LocalHeaderOffset, 0u);
  EXPECT_EQ(e.CentralHeaderOffset, 0);
  EXPECT_EQ(e.CentralExtraOffset, 0);
  EXPECT_TRUE(e.FileName.empty() && e.Directory.empty() && e.Comment.empty());
  EXPECT_FALSE(e.Zip64Info || e.AesInfo || e.UnicodePathInfo);
  EXPECT_EQ(e.EncryptionStrength, 0);
  EXPECT_FALSE(e.Matched || e.FileOk || e.Selected);
  EXPECT_EQ(e.OEMConvert, oemNever);
}

TEST(ZipHeaderInfoTest, ExtraRecordsAreCreatedOnceWithTheirInitialValues) {
  TZipHeaderInfo e;
  const TZip64Info& z = e.EnsureZip64Info();
  EXPECT_EQ(z.HeaderId, 1);
  EXPECT_EQ(z.DataSize, 0);
  EXPECT_EQ(z.UncompressedSize | z.CompressedSize | z.LocalHeaderOffset | z.DiskNumberStart, 0u);
  const TAesInfo& a = e.EnsureAesInfo();
  EXPECT_EQ(a.HeaderId, 0x9901);
  EXPECT_EQ(a.DataSize, 7);
  EXPECT_EQ(a.VendorVersion, 1);
  EXPECT_EQ(a.VendorId, 0x4541);
  EXPECT_EQ(a.Strength, 0);
  EXPECT_EQ(a.ActualMethod, 0);
  const TUnicodePathInfo& u = e.EnsureUnicodePathInfo();
  EXPECT_EQ(u.HeaderId, 0x7075);
  EXPECT_EQ(u.DataSize, 0);
  EXPECT_EQ(u.BlockVersion, 1);
  EXPECT_EQ(u.NameCrc, 0u);

  e.Zip64Info->CompressedSize = 5;
  EXPECT_EQ(&e.EnsureZip64Info(), e.Zip64Info.get());
  EXPECT_EQ(e.Zip64Info->CompressedSize, 5u);
}

TEST(ZipHeaderInfoTest, SettersKeepTheLengthsInStep) {
  TZipHeaderInfo e;
  e.SetDirectory("dir\\sub\\");
  EXPECT_EQ(e.NameLength, 8);
  e.SetFileName("a.txt");
  EXPECT_EQ(e.NameLength, 13);
  e.SetDirectory("");
  EXPECT_EQ(e.NameLength, 5);
  e.SetFileName(std::string(70000, 'x'));
  EXPECT_EQ(e.NameLength, 0xFFFF);  // saturates rather than wrapping

  e.SetComment("note");
  EXPECT_EQ(e.CommentLength, 4);
  EXPECT_TRUE(e.HasComment());
  e.SetComment("");
  EXPECT_FALSE(e.HasComment());
}

struct Accessor {
  const char* name;
  uint64_t marker;
  std::function<void(TZipHeaderInfo&, uint64_t)> set;
  std::function<uint64_t(const TZipHeaderInfo&)> get;
  std::function<uint64_t(const TZipHeaderInfo&)> shortField;
  std::function<uint64_t(const TZip64Info&)> zip64Field;
  std::function<void(TZipHeaderInfo&)> putMarker;
};

const Accessor kAccessors[] = {
    {"compressed size", 0xFFFFFFFF, [](TZipHeaderInfo& e, uint64_t v) { e.SetCompressedSize64(v); },
     [](const TZipHeaderInfo& e) { return e.GetCompressedSize64(); },
     [](const TZipHeaderInfo& e) -> uint64_t { return e.CompressedSize; },
     [](const TZip64Info& z) { return z.CompressedSize; },
     [](TZipHeaderInfo& e) { e.CompressedSize = 0xFFFFFFFF; }},
    {"uncompressed size", 0xFFFFFFFF,
     [](TZipHeaderInfo& e, uint64_t v) { e.SetUncompressedSize64(v); },
     [](const TZipHeaderInfo& e) { return e.GetUncompressedSize64(); },
     [](const TZipHeaderInfo& e) -> uint64_t { return e.UncompressedSize; },
     [](const TZip64Info& z) { return z.UncompressedSize; },
     [](TZipHeaderInfo& e) { e.UncompressedSize = 0xFFFFFFFF; }},
    {"local header offset", 0xFFFFFFFF,
     [](TZipHeaderInfo& e, uint64_t v) { e.SetLocalHeaderOffset64(v); },
     [](const TZipHeaderInfo& e) { return e.GetLocalHeaderOffset64(); },
     [](const TZipHeaderInfo& e) -> uint64_t { return e.LocalHeaderOffset; },
     [](const TZip64Info& z) { return z.LocalHeaderOffset; },
     [](TZipHeaderInfo& e) { e.LocalHeaderOffset = 0xFFFFFFFF; }},
    {"disk number start", 0xFFFF,
     [](TZipHeaderInfo& e, uint64_t v) { e.SetDiskNumberStart32(static_cast<uint32_t>(v)); },
     [](const TZipHeaderInfo& e) -> uint64_t { return e.GetDiskNumberStart32(); },
     [](const TZipHeaderInfo& e) -> uint64_t { return e.DiskNumberStart; },
     [](const TZip64Info& z) -> uint64_t { return z.DiskNumberStart; },
     [](TZipHeaderInfo& e) { e.DiskNumberStart = 0xFFFF; }},
};

TEST(ZipHeaderInfoTest, WideValuesGoToZip64InfoFromTheMarkerOn) {
  for (const Accessor& a : kAccessors) {
    const uint64_t big = a.marker == 0xFFFF ? 0x12345 : 0x123456789ull;
    const struct {
      uint64_t value;
      bool inZip64;
    } cases[] = {{0, false}, {a.marker - 1, false}, {a.marker, true}, {big, true}};
    for (const auto& c : cases) {
      TZipHeaderInfo e;
      a.set(e, c.value);
      EXPECT_EQ(a.get(e), c.value) << a.name << " " << c.value;
      EXPECT_EQ(a.shortField(e), c.inZip64 ? a.marker : c.value) << a.name << " " << c.value;
      ASSERT_EQ(e.Zip64Info != nullptr, c.inZip64) << a.name << " " << c.value;
      if (c.inZip64) {
        EXPECT_EQ(a.zip64Field(*e.Zip64Info), c.value) << a.name;
      }
    }
  }
}

TEST(ZipHeaderInfoTest, SmallValueAfterAWideOneLeavesZip64InfoAlone) {
  for (const Accessor& a : kAccessors) {
    TZipHeaderInfo e;
    a.set(e, a.marker + 7);
    a.set(e, 3);
    EXPECT_EQ(a.get(e), 3u) << a.name;
    EXPECT_EQ(a.shortField(e), 3u) << a.name;
    ASSERT_TRUE(e.Zip64Info) << a.name;
    EXPECT_EQ(a.zip64Field(*e.Zip64Info), a.marker + 7) << a.name;
  }
}

TEST(ZipHeaderInfoTest, MarkerWithoutZip64InfoReadsAsTheMarker) {
  for (const Accessor& a : kAccessors) {
    TZipHeaderInfo e;
    a.putMarker(e);
    EXPECT_EQ(a.get(e), a.marker) << a.name;
    EXPECT_FALSE(e.Zip64Info) << a.name;
  }
}

TEST(ZipHeaderInfoTest, Queries) {
  const struct {
    uint16_t flags, method;
    bool hasAes;
    uint16_t actualMethod;
    bool encrypted, descriptor;
    uint16_t effective;
  } cases[] = {
      {0x0000, 8, false, 0, false, false, 8}, {0x0001, 0, false, 0, true, false, 0},
      {0x0008, 8, false, 0, false, true, 8},  {0x0809, 6, false, 0, true, true, 6},
      {0x0000, 99, true, 8, true, false, 8},  {0x0000, 99, false, 0, true, false, 99},
      {0x0000, 8, true, 0, false, false, 8},
  };
  for (const auto& c : cases) {
    TZipHeaderInfo e;
    e.Flags = c.flags;
    e.CompressionMethod = c.method;
    if (c.hasAes) e.EnsureAesInfo().ActualMethod = c.actualMethod;
    EXPECT_EQ(e.IsEncrypted(), c.encrypted) << c.flags << " " << c.method;
    EXPECT_EQ(e.HasDataDescriptor(), c.descriptor) << c.flags << " " << c.method;
    EXPECT_EQ(e.EffectiveMethod(), c.effective) << c.flags << " " << c.method;
  }
}

TEST(ZipHeaderInfoTest, CopyFromCopiesTheListedFieldsOnly) {
  TZipHeaderInfo s;
  s.VersionMadeBy = 63;
  s.VersionNeeded = 51;
  s.Flags = 0x0809;
  s.DosDateTime = 0x58A16B2C;
  s.Crc = 0x12345678;
  s.CompressedSize = 0xFFFFFFFF;
  s.UncompressedSize = 1000;
  s.CentralExtraLength = 44;
  s.LocalExtraLength = 33;
  s.CommentLength = 5;
  s.DiskNumberStart = 0xFFFF;
  s.InternalAttributes = 0;
  s.ExternalAttributes = 0x81A40001;
  s.LocalHeaderOffset = 0xFFFFFFFF;
  s.CentralHeaderOffset = 0x100000010;
  s.CompressionMethod = 12;
  s.SetDirectory("d\\");
  s.SetFileName("f.bin");
  s.NameLength = 99;  // stale on purpose: the copy recomputes it through the setters
  s.EnsureZip64Info() = TZip64Info{1, 28, 1, 0x100000000, 0x200000000, 0x10000};
  s.Zip64Supplied = kZip64CompressedSize | kZip64LocalHeaderOffset | kZip64DiskNumberStart;
  s.EnsureAesInfo() = TAesInfo{0x9901, 7, 2, 0x4541, 3, 8};
  s.EnsureUnicodePathInfo().NameCrc = 77;
  s.EncryptionStrength = 3;
  s.Comment = "hello";
  s.Matched = s.FileOk = s.Selected = true;
  s.OEMConvert = oemFlexible;
  s.CentralExtraOffset = 500;
  s.SavedCentralExtraLength = 44;
  s.Zip64ExtraLength = 32;

  TZipHeaderInfo t;
  t.CentralExtraOffset = 7;
  t.SavedCentralExtraLength = 8;
  t.Zip64ExtraLength = 9;
  t.CopyFrom(s);

  EXPECT_EQ(t.VersionMadeBy, 63);
  EXPECT_EQ(t.VersionNeeded, 51);
  EXPECT_EQ(t.Flags, 0x0809);
  EXPECT_EQ(t.DosDateTime, 0x58A16B2Cu);
  EXPECT_EQ(t.Crc, 0x12345678u);
  EXPECT_EQ(t.CompressedSize, 0xFFFFFFFFu);  // markers as stored
  EXPECT_EQ(t.UncompressedSize, 1000u);
  EXPECT_EQ(t.CentralExtraLength, 44);
  EXPECT_EQ(t.LocalExtraLength, 33);
  EXPECT_EQ(t.CommentLength, 5);
  EXPECT_EQ(t.DiskNumberStart, 0xFFFF);
  EXPECT_EQ(t.InternalAttributes, 0);
  EXPECT_EQ(t.ExternalAttributes, 0x81A40001u);
  EXPECT_EQ(t.LocalHeaderOffset, 0xFFFFFFFFu);
  EXPECT_EQ(t.CentralHeaderOffset, 0x100000010);
  EXPECT_EQ(t.CompressionMethod, 12);
  EXPECT_EQ(t.Directory, "d\\");
  EXPECT_EQ(t.FileName, "f.bin");
  EXPECT_EQ(t.NameLength, 7);
  EXPECT_EQ(t.GetCompressedSize64(), 0x100000000u);
  EXPECT_EQ(t.GetLocalHeaderOffset64(), 0x200000000u);
  EXPECT_EQ(t.GetDiskNumberStart32(), 0x10000u);
  ASSERT_TRUE(t.Zip64Info);
  EXPECT_EQ(t.Zip64Info->DataSize, 28);
  ASSERT_TRUE(t.AesInfo);
  EXPECT_EQ(t.AesInfo->VendorVersion, 2);
  EXPECT_EQ(t.AesInfo->Strength, 3);
  EXPECT_EQ(t.AesInfo->ActualMethod, 8);
  EXPECT_EQ(t.EncryptionStrength, 3);
  EXPECT_EQ(t.Comment, "hello");
  EXPECT_TRUE(t.Matched && t.FileOk && t.Selected);
  // Not copied.
  EXPECT_EQ(t.OEMConvert, oemNever);
  EXPECT_FALSE(t.UnicodePathInfo);
  EXPECT_EQ(t.CentralExtraOffset, 7);
  EXPECT_EQ(t.SavedCentralExtraLength, 8);
  EXPECT_EQ(t.Zip64ExtraLength, 9);
  EXPECT_EQ(t.Zip64Supplied, kZip64CompressedSize | kZip64LocalHeaderOffset |
                                 kZip64DiskNumberStart);  // as the source had them
  EXPECT_FALSE(t.HasMissingZip64Values());
  // The copy owns its own extra records.
  EXPECT_NE(t.Zip64Info.get(), s.Zip64Info.get());
  EXPECT_NE(t.AesInfo.get(), s.AesInfo.get());
}

TEST(ZipHeaderInfoTest, CopyFromTakesTheCommentOnlyWhenLoaded) {
  const struct {
    uint16_t commentLength;
    const char* comment;
    const char* copied;
  } cases[] = {{5, "hello", "hello"}, {5, "", ""}, {0, "stale", ""}};
  for (const auto& c : cases) {
    TZipHeaderInfo s;
    s.CommentLength = c.commentLength;
    s.Comment = c.comment;
    TZipHeaderInfo t;
    t.SetComment("previous");
    t.CopyFrom(s);
    EXPECT_EQ(t.Comment, c.copied) << c.commentLength << " " << c.comment;
    EXPECT_EQ(t.CommentLength, c.commentLength);
  }
}

TEST(ZipHeaderInfoTest, CopyFromKeepsExtraRecordsTheSourceLacks) {
  TZipHeaderInfo s;
  TZipHeaderInfo t;
  t.EnsureZip64Info().CompressedSize = 0x100000000;
  t.EnsureAesInfo().ActualMethod = 8;
  t.CopyFrom(s);
  ASSERT_TRUE(t.Zip64Info && t.AesInfo);
  EXPECT_EQ(t.Zip64Info->CompressedSize, 0x100000000u);
  // The short field now comes from the source, so the kept value is not reported.
  EXPECT_EQ(t.GetCompressedSize64(), 0u);
}

}  // namespace
