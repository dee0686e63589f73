// Reading the directories of archives made by Info-ZIP zip (plain, forced Zip64, split), 7-Zip
// and Python's zipfile from one small tree.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "entry_names.h"
#include "support/temp_dir.h"
#include "unzip/unzipper.h"

namespace {

struct ToolArchive {
  const char* file;
  bool hasDirectoryEntry;  // "sub\" stored as an entry of its own
  bool hasComments;
};

const ToolArchive kArchives[] = {
    {"infozip.zip", true, false},  {"infozip64.zip", true, false}, {"split.zip", true, false},
    {"sevenzip.zip", true, false}, {"python.zip", false, true},
};

std::set<std::string> Names(TUnZipper& zip) {
  const std::vector<std::string> names = test::EntryNames(zip);
  return std::set<std::string>(names.begin(), names.end());
}

TEST(ToolArchivesDirectory, EveryToolsArchiveListsTheSameTree) {
  for (const ToolArchive& archive : kArchives) {
    SCOPED_TRACE(archive.file);
    TUnZipper zip;
    zip.SetZipName(test::ToolArchive(archive.file));
    zip.LoadDirectory();
    std::set<std::string> expected = {"readme.txt", "empty.txt", "sub\\nested.txt",
                                      "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt", "data.bin"};
    if (archive.hasDirectoryEntry) expected.insert("sub\\");
    EXPECT_EQ(Names(zip), expected);
    EXPECT_FALSE(zip.ArchiveIsBad);
    for (int i = 0; i < zip.EntryCount(); ++i) {
      const TZipHeaderInfo* entry = zip.SortedEntries->Items(i);
      if (entry->FileName == "data.bin") {
        EXPECT_EQ(entry->GetUncompressedSize64(), 200000u);
      }
      if (archive.hasComments) {
        EXPECT_EQ(
            zip.EntryComment(i), "comment of " + [&] {
              std::string name = entry->Directory + entry->FileName;
              std::replace(name.begin(), name.end(), '\\', '/');
              return name;
            }());
      }
    }
    if (archive.hasComments) {
      EXPECT_EQ(zip.ArchiveComment(), "archive comment");
    }
  }
}

TEST(ToolArchivesDirectory, SplitSetIsReadAcrossItsParts) {
  TUnZipper zip;
  zip.SetZipName(test::ToolArchive("split.zip"));
  zip.LoadDirectory();
  EXPECT_EQ(zip.SpanMode, smSplitFiles);
  EXPECT_EQ(zip.PartCount, 4);
  EXPECT_EQ(zip.CurrentPart, 3);
  const TZipHeaderInfo* data = nullptr;
  for (int i = 0; i < zip.EntryCount(); ++i) {
    if (zip.SortedEntries->Items(i)->FileName == "data.bin") data = zip.SortedEntries->Items(i);
  }
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->GetDiskNumberStart32(), 0u);
}

TEST(ToolArchivesDirectory, SortedViewsFollowTheSortMode) {
  TUnZipper zip;
  zip.SortMode = ByName;
  zip.SetZipName(test::ToolArchive("python.zip"));
  zip.LoadDirectory();
  ASSERT_EQ(zip.EntryCount(), 5);
  EXPECT_EQ(zip.EntryFileName(0), "data.bin");
  EXPECT_EQ(zip.EntryFileName(4), "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt");
  EXPECT_NE(zip.SortedEntries, zip.Entries.get());
}

TEST(ToolArchivesDirectory, ADirectoryThatStartsInAnEarlierPartIsReadAndExtracted) {
  // Info-ZIP's "-s 64k" set: the data fits in ".z01", the directory runs on into ".zip".
  test::TempDir dir;
  TUnZipper zip;
  zip.SetZipName(test::ToolArchive("split_directory.zip"));
  zip.LoadDirectory();
  EXPECT_EQ(zip.EntryCount(), 121);
  EXPECT_EQ(zip.SpanMode, smSplitFiles);
  EXPECT_EQ(zip.PartCount, 2);
  EXPECT_EQ(zip.CurrentPart, 1);
  EXPECT_FALSE(zip.ArchiveIsBad);
  zip.SetDestDir(dir.Path());
  zip.DoAll = true;
  EXPECT_EQ(zip.UnZip(), 121);
  for (const char* name : {"big.bin", "file_with_a_rather_long_name_number_000.txt",
                           "file_with_a_rather_long_name_number_119.txt"}) {
    EXPECT_EQ(test::ReadFileBytes(dir.File(name)),
              test::ReadFileBytes(test::ToolArchive(std::string("spanned\\") + name)))
        << name;
  }
}

}  // namespace
