// Damaged archives: entries rebuilt from their local headers that leave their sizes to a data
// descriptor, entry counts and data sizes that cannot fit the archive, and central headers that
// cannot be right after a rebuild. Lost data are never an empty file.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "entry_names.h"
#include "platform/file_helpers.h"
#include "platform/message_pump.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "unzip/base/messages.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/unzipper.h"

namespace {

using test::ZipArchive;
using test::ZipEntry;

// Data that holds descriptor signatures of its own, two of them across the 32 KB blocks in
// which the search reads.
std::string DataWithFakeSignatures(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<char>('a' + i * 7 % 26);
  for (size_t at : {size_t{10}, size_t{32768 - 2}, size_t{32768 + 20}, size - 30}) {
    if (at + 4 <= size) data.replace(at, 4, "PK\x07\x08");
  }
  return data;
}

// No central headers, and an end record that claims one per entry at a wrong offset: the
// entries are found through their local headers alone.
void LoseTheCentralDirectory(ZipArchive& archive) {
  for (ZipEntry& entry : archive.entries) entry.writeCentral = false;
  archive.end.totalEntries = archive.end.entriesThisDisk =
      static_cast<uint16_t>(archive.entries.size());
  archive.end.centralOffset = 7;
}

// "before.txt", the entry of a case and "after.txt" behind a program stub, their central
// directory lost.
ZipArchive BehindAStub(const ZipEntry& middle) {
  ZipArchive archive;
  archive.prefix = "MZ stub " + std::string(300, 'S') + "PK\x03";
  archive.entries = {test::StoredEntry("before.txt", "first"), middle,
                     test::StreamedEntry("after.txt", "the last one", 8)};
  LoseTheCentralDirectory(archive);
  return archive;
}

class RebuiltEntries : public ::testing::Test {
 protected:
  // Writes the archive and loads its directory with a fresh component, reading through a buffer
  // of `bufferSize` bytes.
  TUnZipper& Load(const ZipArchive& archive, uint32_t bufferSize = 8192) {
    path_ = dir_.File("damaged.zip");
    test::WriteFileBytes(path_, test::BuildZip(archive));
    zip_ = std::make_unique<TUnZipper>();
    zip_->BufferedStreamSize = bufferSize;
    zip_->SetZipName(path_);
    // A destination of its own for each archive.
    outDir_ = dir_.File("out" + std::to_string(++loads_));
    zip_->SetDestDir(outDir_);
    zip_->OverwriteMode = Always;
    zip_->LoadDirectory();
    return *zip_;
  }
  // Extracts the entries named (all when none is), and answers the message of the failure
  // that ended the run, empty when none did.
  std::string Extract(const std::vector<std::string>& names = {}) {
    zip_->DoAll = names.empty();
    zip_->SetFilesList(names);
    try {
      zip_->UnZip();
    } catch (const EUnZipException& e) {
      return e.Message();
    }
    return "";
  }
  std::string Out(const std::string& name) const { return outDir_ + "\\" + name; }

  test::TempDir dir_;
  std::string path_;
  std::string outDir_;
  int loads_ = 0;
  std::unique_ptr<TUnZipper> zip_;
};

TEST_F(RebuiltEntries, DescriptorEntriesGetTheirSizesFromTheDescriptorOrFail) {
  const std::string text = "text that is deflated well, text that is deflated well";
  ZipEntry noDescriptor = test::StreamedEntry("middle", "its descriptor is missing", 0);
  noDescriptor.afterData.clear();
  ZipEntry wrongCrc = test::StreamedEntry("middle", text, 8);
  wrongCrc.afterData =
      test::DataDescriptor(test::Crc32(text) ^ 1, wrongCrc.data.size(), text.size());
  ZipEntry storedWrongCrc = test::StreamedEntry("middle", "the bytes do not check", 0);
  storedWrongCrc.afterData = test::DataDescriptor(0x12345678, 22, 22);
  ZipEntry noSignature = test::StreamedEntry("middle", text, 8);
  noSignature.afterData =
      test::DataDescriptor(test::Crc32(text), noSignature.data.size(), text.size(), false);
  ZipEntry crcInDescriptor = test::StreamedEntry("middle", "stored", 0);  // as bsdtar writes it
  crcInDescriptor.localCompressedSize = crcInDescriptor.localUncompressedSize = 6;
  ZipEntry hugeLocalSize = test::StreamedEntry("middle", text, 8);
  hugeLocalSize.localCompressedSize = 0x7FFFFFF0;  // past the end: the descriptor tells
  struct Case {
    const char* what;
    ZipEntry entry;
    std::string content;  // what "middle" holds when it is extracted
    bool fails;           // "middle" fails: its sizes are unknown
  } cases[] = {
      {"deflated", test::StreamedEntry("middle", text, 8), text, false},
      {"deflated, Zip64 descriptor", test::StreamedEntry("middle", text, 8, true), text, false},
      {"deflated, no signature", noSignature, text, false},
      {"deflated, empty", test::StreamedEntry("middle", "", 8), "", false},
      {"deflated, size past the end", hugeLocalSize, text, false},
      {"stored, fake signatures", test::StreamedEntry("middle", DataWithFakeSignatures(70000), 0),
       DataWithFakeSignatures(70000), false},
      {"stored, Zip64 descriptor", test::StreamedEntry("middle", "stored", 0, true), "stored",
       false},
      {"stored, empty", test::StreamedEntry("middle", "", 0), "", false},
      {"stored, sizes in the local header, CRC in the descriptor", crcInDescriptor, "stored",
       false},
      {"stored, no descriptor", noDescriptor, "", true},
      {"stored, wrong CRC", storedWrongCrc, "", true},
      {"deflated, wrong CRC", wrongCrc, "", true},
  };
  for (const Case& c : cases) {
    for (uint32_t bufferSize : {8192u, 7u}) {
      SCOPED_TRACE(std::string(c.what) + ", buffer " + std::to_string(bufferSize));
      TUnZipper& zip = Load(BehindAStub(c.entry), bufferSize);
      EXPECT_TRUE(zip.ArchiveIsBad);
      EXPECT_TRUE(zip.ImproperArchive);
      ASSERT_EQ(test::EntryNames(zip),
                (std::vector<std::string>{"before.txt", "middle", "after.txt"}));
      EXPECT_EQ(zip.SortedEntries->Items(1)->SizesUnknown, c.fails);
      if (c.fails) {
        EXPECT_EQ(Extract(), kTextSizesUnknown);
        EXPECT_EQ(test::ReadFileBytes(Out("before.txt")), "first");
        EXPECT_FALSE(platform::FileExists(Out("middle")));  // no empty file in its place
        EXPECT_EQ(Extract({"after.txt"}), "");
        // A file of that name is not replaced by what cannot be extracted.
        test::WriteFileBytes(Out("middle"), "kept");
        EXPECT_EQ(Extract({"middle"}), kTextSizesUnknown);
        EXPECT_EQ(test::ReadFileBytes(Out("middle")), "kept");
      } else {
        EXPECT_EQ(Extract(), "");
        EXPECT_EQ(test::ReadFileBytes(Out("middle")), c.content);
      }
      // The run loaded the directory again and kept the rebuilt one.
      EXPECT_TRUE(zip.ImproperArchive);
      EXPECT_EQ(test::ReadFileBytes(Out("after.txt")), "the last one");
    }
  }
}

TEST_F(RebuiltEntries, ACentralHeaderOfTheEntryGivesTheSizesNoDescriptorGave) {
  ZipEntry middle = test::StreamedEntry("middle", "its descriptor is missing", 0);
  middle.afterData.clear();
  ZipArchive archive = BehindAStub(middle);
  for (ZipEntry& entry : archive.entries) entry.writeCentral = true;  // but at a wrong offset
  TUnZipper& zip = Load(archive);
  EXPECT_TRUE(zip.ArchiveIsBad);
  EXPECT_FALSE(zip.SortedEntries->Items(1)->SizesUnknown);
  EXPECT_EQ(Extract(), "");
  EXPECT_EQ(test::ReadFileBytes(Out("middle")), "its descriptor is missing");
  EXPECT_EQ(test::ReadFileBytes(Out("after.txt")), "the last one");
}

TEST_F(RebuiltEntries, TheSearchPumpsMessagesAsItReads) {
  const std::string data = DataWithFakeSignatures(300000);
  ZipEntry known = test::StreamedEntry("big.bin", data, 0);
  known.localCompressedSize = known.localUncompressedSize = static_cast<uint32_t>(data.size());
  int pumps = 0;
  platform::SetMessagePump([&pumps] {
    ++pumps;
    return false;
  });
  Load(BehindAStub(known));
  const int knownPumps = pumps;
  pumps = 0;
  Load(BehindAStub(test::StreamedEntry("big.bin", data, 0)));
  platform::SetMessagePump(nullptr);
  EXPECT_GE(pumps - knownPumps, static_cast<int>(data.size() / 32768));
}

TEST_F(RebuiltEntries, ManyEntriesWithoutDescriptorsAmongFakeSignaturesEndTheRead) {
  // Every search runs to the end of the archive in vain: together they stop at their budget.
  ZipArchive archive;
  for (int i = 0; i < 64; ++i) {
    ZipEntry entry = test::StreamedEntry("e" + std::to_string(i), "x", 0);
    entry.afterData.clear();
    archive.entries.push_back(entry);
  }
  std::string signatures;
  for (int i = 0; i < 65536; ++i) signatures += "PK\x07\x08";
  archive.beforeCentral = signatures;
  LoseTheCentralDirectory(archive);
  TUnZipper& zip = Load(archive);
  ASSERT_EQ(zip.EntryCount(), 64);
  for (int i = 0; i < zip.EntryCount(); ++i) EXPECT_TRUE(zip.SortedEntries->Items(i)->SizesUnknown);
}

TEST_F(RebuiltEntries, AnEntryCountThatCannotFitMakesTheEndRecordADamagedOne) {
  struct Case {
    const char* what;
    bool zip64;
    uint64_t count;
  } cases[] = {{"Zip64, 2^64 - 1", true, ~0ull},
               {"Zip64, one header too many", true, 0},  // set below: what the bytes can hold + 1
               {"16-bit", false, 0xFFFE}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZipArchive archive;
    archive.entries = {test::StreamedEntry("one.txt", "the one entry", 8)};
    test::ZipLayout layout;
    if (c.zip64) {
      archive.zip64 = test::Zip64EndFields();
      test::BuildZip(archive, &layout);
      archive.zip64->totalEntries = c.count != 0 ? c.count : layout.endOffset / 46 + 1;
    } else {
      archive.end.totalEntries = static_cast<uint16_t>(c.count);
    }
    TUnZipper& zip = Load(archive);
    EXPECT_TRUE(zip.ImproperArchive);
    ASSERT_EQ(test::EntryNames(zip), std::vector<std::string>{"one.txt"});
    EXPECT_EQ(Extract(), "");
    EXPECT_EQ(test::ReadFileBytes(Out("one.txt")), "the one entry");
  }
}

TEST_F(RebuiltEntries, DataPastTheEndOfAnEntryThatIsNeverDecodedAreAFormatError) {
  // Without a file name an entry stands for a directory: nothing would read its data. (A file
  // entry's data past the end fail its extraction.)
  ZipEntry emptyName = test::StreamedEntry("", "data", 0);
  emptyName.compressedSize = 0x7FFFFFFF;
  ZipEntry directory = test::StoredEntry("dir/", "");
  directory.compressedSize = 0xFFFFFF00;
  struct Case {
    ZipEntry entry;
    std::string message;
  } cases[] = {
      {emptyName,
       "Not a valid zip file! Entry 2 (no name): 2147483647 bytes of data at offset 40 would run "
       "past the end of the archive ("},
      {directory,
       "Not a valid zip file! Entry 2 \"dir\\\": 4294967040 bytes of data at offset 40 would run "
       "past the end of the archive ("},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    ZipArchive archive;
    archive.entries = {test::StoredEntry("a.txt", "alpha"), c.entry};
    const std::string bytes = test::BuildZip(archive);
    test::WriteFileBytes(dir_.File("past.zip"), bytes);
    TUnZipper zip;
    zip.SetZipName(dir_.File("past.zip"));
    try {
      zip.LoadDirectory();
      ADD_FAILURE() << "read without a failure";
    } catch (const EBadZipFile& e) {
      EXPECT_EQ(e.Message(), c.message + std::to_string(bytes.size()) + " bytes)");
    }
    EXPECT_EQ(zip.EntryCount(), 0);
  }
}

TEST_F(RebuiltEntries, ACentralHeaderThatCannotBeRightEndsTheReadingAfterARebuild) {
  // The central headers carry attributes 0x01 that show which ones were merged into the
  // entries rebuilt from the local headers.
  ZipEntry zip64Marker = test::StoredEntry("b.txt", "bravo");
  zip64Marker.compressedSize = 0xFFFFFFFF;  // and no Zip64 block
  ZipEntry pastTheEnd = test::StoredEntry("b.txt", "bravo");
  pastTheEnd.compressedSize = 0x7FFFFFFF;
  for (ZipEntry* bad : {&zip64Marker, &pastTheEnd}) {
    SCOPED_TRACE(bad == &zip64Marker ? "Zip64 marker" : "past the end");
    bad->localCompressedSize = 5;
    ZipArchive archive;
    archive.entries = {test::StoredEntry("a.txt", "alpha"), *bad,
                       test::StoredEntry("c.txt", "charlie")};
    for (ZipEntry& entry : archive.entries) entry.externalAttributes = 0x01;
    archive.end.centralOffset = 7;  // the rebuild runs first
    TUnZipper& zip = Load(archive);
    EXPECT_TRUE(zip.ArchiveIsBad);
    ASSERT_EQ(test::EntryNames(zip), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(zip.SortedEntries->Items(0)->ExternalAttributes, 0x01u);
    EXPECT_EQ(zip.SortedEntries->Items(1)->ExternalAttributes, 0u);
    EXPECT_EQ(zip.SortedEntries->Items(2)->ExternalAttributes, 0u);
    EXPECT_EQ(Extract(), "");
    EXPECT_EQ(test::ReadFileBytes(Out("b.txt")), "bravo");
    EXPECT_EQ(test::ReadFileBytes(Out("c.txt")), "charlie");
  }
}

}  // namespace
