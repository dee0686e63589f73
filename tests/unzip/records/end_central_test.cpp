// Tests of the end record: its search at the end of a stream (comments, forged records, junk,
// the Zip64 records), its accessors, Clear and CopyFrom.
#include "unzip/records/end_central.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "platform/stream.h"
#include "support/memory_stream.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

using test::ZipArchive;
using test::ZipLayout;

ZipArchive TwoEntries() {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "alpha"), test::StoredEntry("b.txt", "beta")};
  return archive;
}

// A stream that hands out at most `limit` bytes per read.
class ShortReadStream : public test::MemoryStream {
 public:
  ShortReadStream(std::string bytes, int32_t limit)
      : test::MemoryStream(std::move(bytes)), limit_(limit) {}
  int32_t Read(void* buffer, int32_t count) override {
    return test::MemoryStream::Read(buffer, std::min(count, limit_));
  }

 private:
  int32_t limit_;
};

void ExpectNew(const TEndCentral& end) {
  EXPECT_EQ(end.Signature, 0x06054B50u);
  EXPECT_EQ(end.ThisDisk | end.StartDisk | end.EntriesThisDisk | end.TotalEntries, 0);
  EXPECT_EQ(end.CentralSize | end.CentralOffset, 0u);
  EXPECT_EQ(end.CommentLength, 0);
  EXPECT_EQ(end.Comment, "");
  EXPECT_EQ(end.CommentPosition, 0);
  EXPECT_FALSE(end.CommentChanged);
  EXPECT_FALSE(end.Zip64End || end.Zip64Locator);
  EXPECT_FALSE(end.HasComment());
}

TEST(EndCentralTest, NewAndClearedRecords) {
  TEndCentral end;
  ExpectNew(end);
  end.ThisDisk = 1;
  end.TotalEntries = 2;
  end.CentralOffset = 3;
  end.SetComment("c");
  end.CommentPosition = 4;
  end.CommentChanged = true;
  end.EnsureZip64End();
  end.EnsureZip64Locator();
  end.Clear();
  ExpectNew(end);
}

TEST(EndCentralTest, CreatedZip64Records) {
  TEndCentral end;
  const TZip64EndRecord& z = end.EnsureZip64End();
  EXPECT_EQ(z.Signature, 0x06064B50u);
  EXPECT_EQ(z.RecordSize, 44u);
  EXPECT_EQ(z.VersionMadeBy, 45);
  EXPECT_EQ(z.VersionNeeded, 45);
  EXPECT_EQ(z.ThisDisk | z.StartDisk, 0u);
  EXPECT_EQ(z.EntriesThisDisk | z.TotalEntries | z.CentralSize | z.CentralOffset, 0u);
  const TZip64LocatorRecord& l = end.EnsureZip64Locator();
  EXPECT_EQ(l.Signature, 0x07064B50u);
  EXPECT_EQ(l.EndDisk, 0u);
  EXPECT_EQ(l.EndOffset, 0u);
  EXPECT_EQ(l.TotalDisks, 1u);
}

TEST(EndCentralTest, ReadsTheFieldsOfTheRecord) {
  ZipArchive archive = TwoEntries();
  archive.end.thisDisk = 2;
  archive.end.startDisk = 1;
  archive.end.entriesThisDisk = 1;
  archive.end.comment = "archive comment";
  ZipLayout layout;
  test::MemoryStream stream(test::BuildZip(archive, &layout));
  TEndCentral end;
  ASSERT_TRUE(end.ReadEnd(stream));
  EXPECT_EQ(end.Signature, 0x06054B50u);
  EXPECT_EQ(end.ThisDisk, 2);
  EXPECT_EQ(end.StartDisk, 1);
  EXPECT_EQ(end.EntriesThisDisk, 1);
  EXPECT_EQ(end.TotalEntries, 2);
  EXPECT_EQ(end.CentralSize, layout.centralSize);
  EXPECT_EQ(end.CentralOffset, layout.centralOffset);
  EXPECT_EQ(end.CommentLength, 15);
  EXPECT_EQ(end.CommentPosition, static_cast<int64_t>(layout.commentOffset));
  EXPECT_EQ(end.Comment, "");  // read on demand by the caller
  EXPECT_FALSE(end.Zip64End || end.Zip64Locator);
  EXPECT_EQ(stream.readCalls, 1);  // the whole window in one read
}

TEST(EndCentralTest, ReadsFromAFile) {
  ZipLayout layout;
  const std::string bytes = test::BuildZip(TwoEntries(), &layout);
  test::TempDir dir;
  test::WriteFileBytes(dir.File("a.zip"), bytes);
  TFileStream stream(dir.File("a.zip"), platform::kOpenRead);
  TEndCentral end;
  ASSERT_TRUE(end.ReadEnd(stream));
  EXPECT_EQ(end.TotalEntries, 2);
  EXPECT_EQ(end.CentralOffset, layout.centralOffset);
}

TEST(EndCentralTest, TinyStreams) {
  TEndCentral end;
  end.TotalEntries = 5;
  test::MemoryStream empty;
  EXPECT_TRUE(end.ReadEnd(empty));  // an empty archive: no entries, values left as they are
  EXPECT_EQ(end.TotalEntries, 5);
  const std::string record = test::BuildZip(ZipArchive());
  ASSERT_EQ(record.size(), 22u);
  for (size_t size = 1; size < 22; ++size) {
    test::MemoryStream stream(record.substr(record.size() - size));
    EXPECT_FALSE(end.ReadEnd(stream)) << size;
    EXPECT_EQ(end.TotalEntries, 5) << size;
  }
  test::MemoryStream exact(record);
  EXPECT_TRUE(end.ReadEnd(exact));
  EXPECT_EQ(end.TotalEntries, 0);
}

TEST(EndCentralTest, NoSignatureOrNoWholeWindow) {
  TEndCentral end;
  test::MemoryStream noRecord(std::string(1000, 'P'));
  EXPECT_FALSE(end.ReadEnd(noRecord));
  // A signature closer than 22 bytes to the end is no record.
  test::MemoryStream tooLate(std::string(100, 'x') + "PK\x05\x06" + std::string(17, '\0'));
  EXPECT_FALSE(end.ReadEnd(tooLate));
  ShortReadStream shortReads(test::BuildZip(TwoEntries()), 16);
  EXPECT_FALSE(end.ReadEnd(shortReads));
}

// The record chosen when comments hold signatures or records of their own, or junk follows.
TEST(EndCentralTest, ChoosesTheRecordWhoseCommentEndsTheStream) {
  const std::string forged = test::EndRecord({}, 7, 0, 3);  // 7 entries, none of them real
  test::ZipEndFields commented;
  commented.comment = "zz";
  const struct {
    const char* label;
    std::string comment;
    std::string trailing;
    bool real;  // the archive's own record is chosen, else the one nearest the end
  } cases[] = {
      {"signature in the comment", "before PK\x05\x06 after " + std::string(30, '.'), "", true},
      {"forged record ending the comment", "x" + forged, "", true},
      {"forged record with a comment of its own", "y" + test::EndRecord(commented, 7, 0, 3), "",
       true},
      {"junk after the archive", "", "junk!", true},
      {"junk after a forged record", "x" + forged, "junk!", false},
  };
  for (const auto& c : cases) {
    ZipArchive archive = TwoEntries();
    archive.end.comment = c.comment;
    archive.trailing = c.trailing;
    ZipLayout layout;
    test::MemoryStream stream(test::BuildZip(archive, &layout));
    TEndCentral end;
    ASSERT_TRUE(end.ReadEnd(stream)) << c.label;
    EXPECT_EQ(end.TotalEntries, c.real ? 2 : 7) << c.label;
    if (c.real) {
      EXPECT_EQ(end.CommentPosition, static_cast<int64_t>(layout.commentOffset)) << c.label;
      EXPECT_EQ(end.CommentLength, c.comment.size()) << c.label;
    }
  }
}

TEST(EndCentralTest, LongestCommentAndLargeStream) {
  ZipArchive archive = TwoEntries();
  archive.prefix = std::string(100000, 'p');
  archive.end.comment = std::string(65535, 'c');
  archive.zip64 = test::Zip64EndFields();
  ZipLayout layout;
  test::MemoryStream stream(test::BuildZip(archive, &layout));
  TEndCentral end;
  ASSERT_TRUE(end.ReadEnd(stream));
  EXPECT_EQ(end.CommentLength, 65535);
  EXPECT_EQ(end.CommentPosition, static_cast<int64_t>(layout.commentOffset));
  // The record starts the window, so its Zip64 locator lies before it: found all the same.
  ASSERT_TRUE(end.Zip64Locator);
  EXPECT_EQ(end.Zip64Locator->EndOffset, layout.zip64EndOffset);
  EXPECT_EQ(end.GetCentralOffset64(), layout.centralOffset);
}

TEST(EndCentralTest, Zip64RecordsGiveTheValuesBehindTheMarkers) {
  ZipArchive archive = TwoEntries();
  test::Zip64EndFields zip64;
  zip64.thisDisk = 0x12345;
  zip64.startDisk = 0x12300;
  zip64.totalEntries = 0x123456789;
  zip64.centralOffset = 0x987654321;
  zip64.extensible = "extensible data";
  zip64.totalDisks = 3;
  archive.zip64 = zip64;
  archive.end.thisDisk = 0xFFFF;
  archive.end.startDisk = 0xFFFF;
  ZipLayout layout;
  test::MemoryStream stream(test::BuildZip(archive, &layout));
  TEndCentral end;
  ASSERT_TRUE(end.ReadEnd(stream));
  ASSERT_TRUE(end.Zip64Locator && end.Zip64End);
  EXPECT_EQ(end.Zip64Locator->Signature, 0x07064B50u);
  EXPECT_EQ(end.Zip64Locator->EndOffset, layout.zip64EndOffset);
  EXPECT_EQ(end.Zip64Locator->TotalDisks, 3u);
  EXPECT_EQ(end.Zip64End->Signature, 0x06064B50u);
  EXPECT_EQ(end.Zip64End->RecordSize, 44u + 15);
  EXPECT_EQ(end.Zip64End->CentralSize, layout.centralSize);
  EXPECT_EQ(end.TotalEntries, 0xFFFF);
  EXPECT_EQ(end.GetThisDisk32(), 0x12345u);
  EXPECT_EQ(end.GetStartDisk32(), 0x12300u);
  EXPECT_EQ(end.GetTotalEntries64(), 0x123456789u);
  EXPECT_EQ(end.GetCentralOffset64(), 0x987654321u);

  // Without markers the short fields count, Zip64 record or not.
  archive.end = test::ZipEndFields();
  archive.end.thisDisk = 0;
  archive.end.startDisk = 0;
  archive.end.entriesThisDisk = 2;
  archive.end.totalEntries = 2;
  archive.end.centralSize = 9;
  archive.end.centralOffset = 10;
  test::MemoryStream plain(test::BuildZip(archive));
  ASSERT_TRUE(end.ReadEnd(plain));
  ASSERT_TRUE(end.Zip64End);
  EXPECT_EQ(end.GetThisDisk32(), 0u);
  EXPECT_EQ(end.GetStartDisk32(), 0u);
  EXPECT_EQ(end.GetTotalEntries64(), 2u);
  EXPECT_EQ(end.GetCentralOffset64(), 10u);
}

TEST(EndCentralTest, Zip64LocatorPointingAnywhereIsHarmless) {
  for (const uint64_t offset : {uint64_t{0xFFFFFFFFFFFFFFFF}, uint64_t{0x7FFFFFFFFFFFFFFF},
                                uint64_t{1} << 40, uint64_t{3}}) {
    ZipArchive archive = TwoEntries();
    test::Zip64EndFields zip64;
    zip64.locatorOffset = offset;
    archive.zip64 = zip64;
    test::MemoryStream stream(test::BuildZip(archive));
    TEndCentral end;
    ASSERT_TRUE(end.ReadEnd(stream)) << offset;
    ASSERT_TRUE(end.Zip64End) << offset;
    EXPECT_EQ(end.Zip64Locator->EndOffset, offset);
    if (offset != 3) {
      // Nothing there to read: the record is zeros, never the bytes of some other place.
      EXPECT_EQ(end.Zip64End->Signature, 0u) << offset;
      EXPECT_EQ(end.GetTotalEntries64(), 0u) << offset;
    } else {
      EXPECT_NE(end.Zip64End->Signature, 0x06064B50u);  // read as found, not checked
    }
  }
}

TEST(EndCentralTest, ReadingAnotherArchiveDropsTheZip64RecordsOfTheFirst) {
  ZipArchive archive = TwoEntries();
  archive.zip64 = test::Zip64EndFields();
  test::MemoryStream zip64(test::BuildZip(archive));
  test::MemoryStream plain(test::BuildZip(TwoEntries()));
  TEndCentral end;
  ASSERT_TRUE(end.ReadEnd(zip64));
  EXPECT_TRUE(end.Zip64End && end.Zip64Locator);
  ASSERT_TRUE(end.ReadEnd(plain));
  EXPECT_FALSE(end.Zip64End || end.Zip64Locator);
}

// Each value with a wide form: below its marker the short field holds it; from the marker on the
// short field holds the marker and the Zip64 record, made for it, the value.
TEST(EndCentralTest, SettersPutWideValuesInTheZip64Record) {
  const struct {
    const char* name;
    uint64_t marker;
    void (*set)(TEndCentral&, uint64_t);
    uint64_t (*shortField)(const TEndCentral&);
    uint64_t (*get)(const TEndCentral&);
  } fields[] = {
      {"this disk", 0xFFFF,
       [](TEndCentral& e, uint64_t v) { e.SetThisDisk32(static_cast<uint32_t>(v)); },
       [](const TEndCentral& e) -> uint64_t { return e.ThisDisk; },
       [](const TEndCentral& e) -> uint64_t { return e.GetThisDisk32(); }},
      {"total entries", 0xFFFF, [](TEndCentral& e, uint64_t v) { e.SetTotalEntries64(v); },
       [](const TEndCentral& e) -> uint64_t { return e.TotalEntries; },
       [](const TEndCentral& e) -> uint64_t { return e.GetTotalEntries64(); }},
      {"central offset", 0xFFFFFFFF, [](TEndCentral& e, uint64_t v) { e.SetCentralOffset64(v); },
       [](const TEndCentral& e) -> uint64_t { return e.CentralOffset; },
       [](const TEndCentral& e) -> uint64_t { return e.GetCentralOffset64(); }},
  };
  for (const auto& f : fields) {
    for (const uint64_t value : {uint64_t{0}, f.marker - 1, f.marker, f.marker + 1}) {
      SCOPED_TRACE(std::string(f.name) + " " + std::to_string(value));
      const bool wide = value >= f.marker;
      TEndCentral end;
      f.set(end, value);
      EXPECT_EQ(f.shortField(end), wide ? f.marker : value);
      EXPECT_EQ(end.Zip64End != nullptr, wide);
      EXPECT_EQ(f.get(end), value);
    }
  }
}

TEST(EndCentralTest, SmallValuesAfterWideOnes) {
  TEndCentral end;
  end.SetTotalEntries64(0x10000);
  end.SetThisDisk32(0x10000);
  end.SetCentralOffset64(0x100000000);
  end.SetTotalEntries64(3);  // also updates the Zip64 record
  end.SetThisDisk32(1);
  end.SetCentralOffset64(5);
  ASSERT_TRUE(end.Zip64End);
  EXPECT_EQ(end.Zip64End->TotalEntries, 3u);
  EXPECT_EQ(end.Zip64End->ThisDisk, 0x10000u);
  EXPECT_EQ(end.Zip64End->CentralOffset, 0x100000000u);
  EXPECT_EQ(end.GetTotalEntries64(), 3u);
  EXPECT_EQ(end.GetThisDisk32(), 1u);
  EXPECT_EQ(end.GetCentralOffset64(), 5u);
  // A marker in the short field with no Zip64 record reads as the marker.
  TEndCentral bare;
  bare.StartDisk = 0xFFFF;
  bare.CentralOffset = 0xFFFFFFFF;
  EXPECT_EQ(bare.GetStartDisk32(), 0xFFFFu);
  EXPECT_EQ(bare.GetCentralOffset64(), 0xFFFFFFFFu);
}

TEST(EndCentralTest, SetCommentKeepsTheLength) {
  TEndCentral end;
  end.SetComment("hello");
  EXPECT_EQ(end.Comment, "hello");
  EXPECT_EQ(end.CommentLength, 5);
  EXPECT_TRUE(end.HasComment());
  EXPECT_FALSE(end.CommentChanged);
  end.SetComment(std::string(70000, 'x'));
  EXPECT_EQ(end.CommentLength, 0xFFFF);
  end.SetComment("");
  EXPECT_FALSE(end.HasComment());
}

TEST(EndCentralTest, CopyFrom) {
  TEndCentral s;
  s.Signature = 0x11111111;
  s.ThisDisk = 1;
  s.StartDisk = 2;
  s.EntriesThisDisk = 3;
  s.TotalEntries = 4;
  s.CentralSize = 5;
  s.CentralOffset = 6;
  s.CommentLength = 7;
  s.CommentPosition = 8;
  s.CommentChanged = true;
  s.EnsureZip64End().TotalEntries = 9;
  s.EnsureZip64Locator();

  TEndCentral t;
  t.Comment = "old";
  t.CopyFrom(s);
  EXPECT_EQ(t.Signature, 0x11111111u);
  EXPECT_EQ(t.ThisDisk, 1);
  EXPECT_EQ(t.StartDisk, 2);
  EXPECT_EQ(t.EntriesThisDisk, 3);
  EXPECT_EQ(t.TotalEntries, 4);
  EXPECT_EQ(t.CentralSize, 5u);
  EXPECT_EQ(t.CentralOffset, 6u);
  EXPECT_EQ(t.CommentLength, 7);
  EXPECT_EQ(t.CommentPosition, 8);
  EXPECT_EQ(t.Comment, "");  // the source's comment is not loaded
  EXPECT_FALSE(t.CommentChanged);
  EXPECT_FALSE(t.Zip64End || t.Zip64Locator);

  s.Comment = "loaded";  // 6 bytes, while CommentLength says 7
  t.CopyFrom(s);
  EXPECT_EQ(t.Comment, "loaded");
  EXPECT_EQ(t.CommentLength, 6);
}

}  // namespace
