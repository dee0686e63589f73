// The extraction run on archives built byte by byte: choice of entries, destinations, overwrite
// decisions, output files, verdicts, skip reasons, percentages and the completion report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/temporary_tree.h"
#include "support/raw_deflate.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"
#include "unzip/base/directories.h"
#include "unzip/base/unzip_exceptions.h"
#include "unzip/unzipper.h"

namespace {

using test::ZipArchive;
using test::ZipEntry;

ZipEntry Directory(const std::string& name) {
  ZipEntry entry = test::StoredEntry(name, "");
  entry.externalAttributes = 0x10;
  return entry;
}

ZipEntry Deflated(const std::string& name, const std::string& data) {
  ZipEntry entry = test::StoredEntry(name, test::RawDeflate(data));
  entry.method = 8;
  entry.crc = test::Crc32(data);
  entry.uncompressedSize = static_cast<uint32_t>(data.size());
  return entry;
}

struct Skip {
  TSkipReason reason;
  std::string name;
  bool operator==(const Skip&) const = default;
};

// A component set up as the updater sets it, writing into a fresh directory, with every event
// recorded.
class Extraction : public ::testing::Test {
 protected:
  Extraction() {
    zipPath = work.File("archive.zip");
    dest = work.File("dest");
    zipper.OverwriteMode = Always;
    zipper.DoAll = true;
    zipper.RecreateDirs = true;
    zipper.RetainAttributes = true;
    zipper.ReplaceReadOnly = true;
    zipper.FlushFilesOnClose = true;
    zipper.OnHandleMessage = [this](TUnZipper*, int id, const std::string& msg1,
                                    const std::string& msg2, uint32_t flags, int& result) {
      messages.push_back(std::to_string(id) + "|" + msg1 + "|" + msg2 + "|" +
                         std::to_string(flags));
      result = messageAnswer;
    };
    zipper.OnSkippingFile = [this](TUnZipper*, TSkipReason reason, const std::string& name, int,
                                   bool&) {
      skips.push_back({reason, name});
    };
    zipper.OnBadCRC = [this](TUnZipper*, uint32_t, uint32_t, int index) {
      badCrcs.push_back(index);
    };
    zipper.OnEndUnZip = [this](TUnZipper*, int, const std::string& name) { ended.push_back(name); };
    zipper.OnTotalPercentDone = [this](TUnZipper*, int percent) { totals.push_back(percent); };
    zipper.OnUnZipComplete = [this](TUnZipper*, int count) { completed.push_back(count); };
  }

  int Extract(const ZipArchive& archive) {
    test::WriteFileBytes(zipPath, test::BuildZip(archive));
    zipper.SetZipName(zipPath);
    zipper.SetDestDir(dest);
    return zipper.UnZip();
  }

  std::string Out(const std::string& relative) const { return dest + "\\" + relative; }

  test::TempDir work;
  std::string zipPath;
  std::string dest;
  TUnZipper zipper;
  int messageAnswer = platform::kIdNo;
  std::vector<std::string> messages;
  std::vector<Skip> skips;
  std::vector<int> badCrcs;
  std::vector<std::string> ended;
  std::vector<int> totals;
  std::vector<int> completed;
};

TEST_F(Extraction, TheUpdatersSettingsWriteFilesAndDirectories) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "alpha"), Directory("sub/"),
                     Deflated("sub/b.txt", std::string(5000, 'b'))};
  EXPECT_EQ(Extract(archive), 3);
  EXPECT_EQ(completed, std::vector<int>{3});
  EXPECT_EQ(test::ReadFileBytes(Out("a.txt")), "alpha");
  EXPECT_TRUE(platform::DirectoryExists(Out("sub")));
  EXPECT_EQ(test::ReadFileBytes(Out("sub\\b.txt")), std::string(5000, 'b'));
  EXPECT_EQ(ended, (std::vector<std::string>{Out("a.txt"), Out("sub\\b.txt")}));
  EXPECT_EQ(platform::FileDosDateTime(Out("a.txt")), static_cast<int32_t>(test::kSomeDosDateTime));
  EXPECT_TRUE(skips.empty());
}

TEST_F(Extraction, TotalPercentagesComePerBlockWrittenAndRoundHalvesToEven) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("one", std::string(40000, '1')),
                     test::StoredEntry("two", std::string(24000, '2'))};
  Extract(archive);
  EXPECT_EQ(totals, (std::vector<int>{51, 62, 100}));
}

TEST_F(Extraction, OnlyDirectoriesGiveNoPercentagesAndCountWhenRecreated) {
  ZipArchive archive;
  archive.entries = {Directory("x/"), Directory("x/y/")};
  EXPECT_EQ(Extract(archive), 2);
  EXPECT_TRUE(totals.empty());
  EXPECT_TRUE(platform::DirectoryExists(Out("x\\y")));

  zipper.RecreateDirs = false;
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_EQ(completed, (std::vector<int>{2, 0}));
}

TEST_F(Extraction, PatternsChooseEntriesIgnoringCaseAndAreEmptiedAfterTheRun) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "a"), test::StoredEntry("B.TXT", "b"),
                     test::StoredEntry("c.dat", "c")};
  zipper.DoAll = false;
  zipper.SetFilesList({"*.TXT"});
  EXPECT_EQ(Extract(archive), 2);
  EXPECT_TRUE(platform::FileExists(Out("a.txt")));
  EXPECT_TRUE(platform::FileExists(Out("B.TXT")));
  EXPECT_FALSE(platform::FileExists(Out("c.dat")));
  EXPECT_TRUE(zipper.FilesList.empty());
}

TEST_F(Extraction, RootDirIsTakenOffStoredDirectories) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("Data/sub/f.txt", "f"),
                     test::StoredEntry("other/g.txt", "g")};
  zipper.SetRootDir("data");
  EXPECT_EQ(zipper.RelativePathList, std::vector<std::string>{"data\\"});
  Extract(archive);
  EXPECT_TRUE(platform::FileExists(Out("sub\\f.txt")));
  EXPECT_TRUE(platform::FileExists(Out("other\\g.txt")));
}

TEST_F(Extraction, AnEmptyDestDirIsTheCurrentDirectory) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("rel/f.txt", "f"), test::StoredEntry("/abs/g.txt", "g")};
  test::WriteFileBytes(zipPath, test::BuildZip(archive));
  ASSERT_TRUE(ForceDirectories(dest));
  const std::string saved = platform::CurrentDirectory();
  ASSERT_TRUE(platform::ChangeDirectory(dest));
  zipper.SetZipName(zipPath);
  zipper.SetDestDir("");
  const int count = zipper.UnZip();
  ASSERT_TRUE(platform::ChangeDirectory(saved));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(platform::FileExists(Out("rel\\f.txt")));
  EXPECT_TRUE(platform::FileExists(Out("abs\\g.txt")));
}

TEST_F(Extraction, OnStartUnZipMayRedirectOrSkipAFile) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "a"), test::StoredEntry("b.txt", "b")};
  const std::string elsewhere = work.File("new\\dir\\moved.txt");
  zipper.OnStartUnZip = [&](TUnZipper*, int index, std::string& name, bool& skip) {
    if (index == 0) name = elsewhere;
    if (index == 1) skip = true;
  };
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(test::ReadFileBytes(elsewhere), "a");
  EXPECT_EQ(ended, std::vector<std::string>{elsewhere});
  EXPECT_FALSE(platform::FileExists(Out("b.txt")));
  EXPECT_TRUE(skips.empty());
  EXPECT_EQ(totals.back(), 50);  // the skipped file stays in the total
}

TEST_F(Extraction, OverwriteModesDecideAboutExistingFiles) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "new")};
  struct Case {
    TUZOverwriteMode mode;
    int existingTimeShift;  // seconds*2 added to the entry's time for the existing file
    bool replaced;
  };
  const Case cases[] = {{Never, 0, false},   {ifNewer, 0, false}, {ifOlder, 0, false},
                        {ifNewer, -1, true}, {ifNewer, 1, false}, {ifOlder, 1, true},
                        {ifOlder, -1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.mode) * 10 + c.existingTimeShift);
    ASSERT_TRUE(ForceDirectories(dest));
    test::WriteFileBytes(Out("a.txt"), "old");
    platform::File file = platform::File::Open(Out("a.txt"), platform::kOpenReadWrite);
    ASSERT_TRUE(file.SetLastWriteDosTime(test::kSomeDosDateTime + c.existingTimeShift));
    file.Close();
    skips.clear();
    zipper.OverwriteMode = c.mode;
    EXPECT_EQ(Extract(archive), c.replaced ? 1 : 0);
    EXPECT_EQ(test::ReadFileBytes(Out("a.txt")), c.replaced ? "new" : "old");
    if (!c.replaced) {
      EXPECT_EQ(skips, (std::vector<Skip>{{srNoOverwrite, Out("a.txt")}}));
    }
  }
}

TEST_F(Extraction, PromptAsksThroughTheMessageRoutineOrTheHandler) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("dir/a.txt", "new")};
  ASSERT_TRUE(ForceDirectories(Out("dir")));
  test::WriteFileBytes(Out("dir\\a.txt"), "old");
  zipper.OverwriteMode = Prompt;
  EXPECT_EQ(Extract(archive), 0);
  EXPECT_EQ(messages,
            std::vector<std::string>{"196|Replace existing file a.txt?|File Exists Alert|4"});
  EXPECT_EQ(skips, (std::vector<Skip>{{srNoOverwrite, Out("dir\\a.txt")}}));

  messageAnswer = platform::kIdYes;
  EXPECT_EQ(zipper.UnZip(), 1);
  EXPECT_EQ(test::ReadFileBytes(Out("dir\\a.txt")), "new");

  bool asked = false;
  zipper.OnPromptForOverwrite = [&](TUnZipper*, bool& overWriteIt, int, std::string&) {
    asked = true;
    overWriteIt = false;
  };
  EXPECT_EQ(zipper.UnZip(), 0);
  EXPECT_TRUE(asked);
  EXPECT_EQ(messages.size(), 2u);
}

TEST_F(Extraction, AReadOnlyFileIsReplacedAndGetsTheStoredAttributes) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "new")};
  ASSERT_TRUE(ForceDirectories(dest));
  test::WriteFileBytes(Out("a.txt"), "old");
  ASSERT_EQ(platform::WriteAttributes(Out("a.txt"), platform::kAttrReadOnly), 0);
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(test::ReadFileBytes(Out("a.txt")), "new");
  EXPECT_EQ(platform::ReadAttributes(Out("a.txt")) & platform::kAttrReadOnly, 0u);

  archive.entries[0].externalAttributes = 0x21;
  zipPath = work.File("read-only.zip");  // the same name within two seconds keeps the directory
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_NE(platform::ReadAttributes(Out("a.txt")) & platform::kAttrReadOnly, 0u);
  (void)platform::WriteAttributes(Out("a.txt"),
                                  platform::kAttrArchive);  // so that the directory can be removed
}

TEST_F(Extraction, AFileThatCannotBeCreatedIsSkippedAndTheRunGoesOn) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("blocked", std::string(100, 'x')),
                     test::StoredEntry("b.txt", "b")};
  ASSERT_TRUE(ForceDirectories(Out("blocked")));  // a directory where the file should go
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(skips, (std::vector<Skip>{{srCreateError, Out("blocked")}}));
  EXPECT_EQ(totals, std::vector<int>{100});  // the skipped file left the total
  EXPECT_TRUE(platform::DirectoryExists(Out("blocked")));
}

TEST_F(Extraction, BadDataIsRejectedAndDeleted) {
  ZipEntry wrongCrc = test::StoredEntry("crc.txt", "data");
  wrongCrc.crc = 1234;
  ZipEntry zeroCrc = test::StoredEntry("zero.txt", "data");
  zeroCrc.crc = 0;  // a CRC of 0 vouches for nothing
  ZipEntry overrun = test::StoredEntry("over.txt", "0123456789");
  overrun.uncompressedSize = 8;
  ZipEntry unknown = test::StoredEntry("unknown.txt", "data");
  unknown.method = 12;
  ZipEntry strong = test::StoredEntry("strong.txt", "data");
  strong.flags = 0x41;  // PKWARE's strong encryption
  ZipArchive archive;
  archive.entries = {wrongCrc, zeroCrc, overrun,
                     unknown,  strong,  test::StoredEntry("good.txt", "good")};
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(badCrcs, (std::vector<int>{0, 1, 2}));
  // Refused before anything is made: no notice, no CRC verdict.
  EXPECT_EQ(skips, (std::vector<Skip>{{srUnknownMethod, "unknown.txt"},
                                      {srStrongEncryption, "strong.txt"}}));
  EXPECT_TRUE(messages.empty());
  for (const char* name : {"crc.txt", "zero.txt", "over.txt", "unknown.txt", "strong.txt"}) {
    EXPECT_FALSE(platform::FileExists(Out(name))) << name;
  }
  EXPECT_EQ(test::ReadFileBytes(Out("good.txt")), "good");
}

TEST_F(Extraction, ACutShortEntryEndsTheRunAfterTheCompletionReport) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("first.txt", "first"),
                     test::StoredEntry("cut.bin", std::string(70000, 'c')),
                     test::StoredEntry("last.txt", "last")};
  std::string bytes = test::BuildZip(archive);
  // Forge the second entry's sizes in the central directory so that its data runs past the end.
  test::ZipLayout layout;
  bytes = test::BuildZip(archive, &layout);
  test::PutLe32(bytes, layout.centralHeaderOffsets[1] + 20, 0x7FFFFFF0);
  test::PutLe32(bytes, layout.centralHeaderOffsets[1] + 24, 0x7FFFFFF0);
  test::WriteFileBytes(zipPath, bytes);
  zipper.SetZipName(zipPath);
  zipper.SetDestDir(dest);
  try {
    zipper.UnZip();
    ADD_FAILURE() << "nothing raised";
  } catch (const EFatalUnzipError& e) {
    EXPECT_EQ(e.Message(), "Premature end of file reached");
  }
  EXPECT_EQ(completed, std::vector<int>{1});
  EXPECT_TRUE(platform::FileExists(Out("first.txt")));
  EXPECT_FALSE(platform::FileExists(Out("cut.bin")));  // nothing half-written stays
  EXPECT_FALSE(platform::FileExists(Out("last.txt")));
  EXPECT_FALSE(zipper.Busy);
}

TEST_F(Extraction, AnUnreadableArchiveRaisesBeforeAnyEvent) {
  test::WriteFileBytes(zipPath, "not an archive at all");
  zipper.SetZipName(zipPath);
  EXPECT_THROW(zipper.UnZip(), EUnZipException);
  EXPECT_TRUE(completed.empty());
}

TEST_F(Extraction, StopNowEndsTheRunBeforeAnyEntry) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("a.txt", "a"), test::StoredEntry("b.txt", "bb")};
  int numFiles = 0;
  int64_t totalBytes = 0;
  zipper.OnStartUnZipInfo = [&](TUnZipper*, int n, int64_t total, bool& stopNow) {
    numFiles = n;
    totalBytes = total;
    stopNow = true;
  };
  EXPECT_EQ(Extract(archive), 0);
  EXPECT_EQ(numFiles, 2);
  EXPECT_EQ(totalBytes, 3);
  EXPECT_EQ(completed, std::vector<int>{0});
  EXPECT_FALSE(platform::FileExists(Out("a.txt")));
}

TEST_F(Extraction, NamesThatLeaveTheDestinationAreNeverWritten) {
  ZipArchive archive;
  archive.entries = {test::StoredEntry("../escape.txt", "x"),
                     test::StoredEntry("a/../../escape2.txt", "x"),
                     test::StoredEntry("C:../escape3.txt", "x"), Directory("../escapedir/"),
                     test::StoredEntry("a/../inside.txt", "in")};
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(skips, (std::vector<Skip>{{srUnsafePath, "..\\escape.txt"},
                                      {srUnsafePath, "a\\..\\..\\escape2.txt"},
                                      {srUnsafePath, "C:..\\escape3.txt"},
                                      {srUnsafePath, "..\\escapedir\\"}}));
  EXPECT_FALSE(platform::FileExists(work.File("escape.txt")));
  EXPECT_FALSE(platform::FileExists(work.File("escape2.txt")));
  EXPECT_FALSE(platform::DirectoryExists(work.File("escapedir")));
  EXPECT_FALSE(platform::FileExists(work.File("destescape3.txt")));
  EXPECT_TRUE(platform::FileExists(Out("inside.txt")));
}

TEST_F(Extraction, EntriesSharingTheirDataAreGivenUp) {
  // Three central headers point into one local entry: a quadratic zip bomb in miniature.
  const std::string kernel = test::RawDeflate(std::string(100000, 'z'));
  ZipEntry first = test::StoredEntry("bomb0", kernel);
  first.method = 8;
  first.crc = test::Crc32(std::string(100000, 'z'));
  first.uncompressedSize = 100000;
  ZipArchive archive;
  archive.entries = {first};
  for (int i = 1; i <= 2; ++i) {
    ZipEntry alias = first;
    alias.name = "bomb" + std::to_string(i);
    alias.writeLocal = false;
    alias.localHeaderOffset = static_cast<uint32_t>(i);  // inside the first entry's span
    archive.entries.push_back(alias);
  }
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(skips, (std::vector<Skip>{{srUnsafePath, "bomb1"}, {srUnsafePath, "bomb2"}}));
}

TEST_F(Extraction, SmallEntriesBetweenEntriesSharingTheirDataHideNothing) {
  // A large entry, a small decoy inside it, and another large entry inside the first one too.
  const std::string data(5000, 'd');
  ZipEntry large = test::StoredEntry("large", data);
  ZipEntry decoy = large;
  decoy.name = "decoy";
  decoy.writeLocal = false;
  decoy.compressedSize = decoy.uncompressedSize = 0;
  decoy.crc = 0;
  decoy.localHeaderOffset = 4000;
  ZipEntry again = large;
  again.name = "again";
  again.writeLocal = false;
  again.localHeaderOffset = 4100;
  ZipArchive archive;
  archive.entries = {large, decoy, again};
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(skips, (std::vector<Skip>{{srUnsafePath, "decoy"}, {srUnsafePath, "again"}}));
}

TEST_F(Extraction, AnEmptyEntryOfAnMsDosHostWithTheDirectoryAttributeIsADirectory) {
  struct Case {
    uint16_t versionMadeBy;
    uint32_t externalAttributes;
    std::string data;
    bool directory;
  };
  const Case cases[] = {
      {test::kMadeByDos, 0x10, "", true},
      {0x0B14, 0x10, "", true},  // NTFS
      {0x0E14, 0x30, "", true},  // VFAT, with the archive bit
      {test::kMadeByUnix, 0x10, "", false},
      {test::kMadeByDos, 0x20, "", false},
      {test::kMadeByDos, 0x10, "not empty", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << c.versionMadeBy << " " << c.externalAttributes
                                    << " " << c.data.size());
    ZipEntry dir = test::StoredEntry("abc/def", c.data);
    dir.versionMadeBy = c.versionMadeBy;
    dir.externalAttributes = c.externalAttributes;
    ZipArchive archive;
    archive.entries = {dir, test::StoredEntry("abc/def/ghi.txt", "ghi")};
    // An archive of its own each time: one rewritten within the same two seconds would keep
    // the directory read before.
    zipPath = work.File("archive" + std::to_string(&c - cases) + ".zip");
    skips.clear();
    EXPECT_EQ(Extract(archive), c.directory ? 2 : 1);
    EXPECT_EQ(platform::DirectoryExists(Out("abc\\def")), c.directory);
    EXPECT_EQ(platform::FileExists(Out("abc\\def\\ghi.txt")), c.directory);
    EXPECT_EQ(platform::FileExists(Out("abc\\def")), !c.directory);
    EXPECT_EQ(skips.size(), c.directory ? 0U : 1U);
    ASSERT_TRUE(platform::RemoveDirectoryTree(dest));
  }
}

TEST_F(Extraction, ADirectoryThatCannotBeMadeIsGivenUpAndNotCounted) {
  ZipArchive archive;
  archive.entries = {Directory("blocked/"), test::StoredEntry("b.txt", "b")};
  ASSERT_TRUE(ForceDirectories(dest));
  test::WriteFileBytes(Out("blocked"), "a file where the directory should be");
  EXPECT_EQ(Extract(archive), 1);
  EXPECT_EQ(skips, (std::vector<Skip>{{srCreateError, Out("blocked")}}));
  EXPECT_EQ(test::ReadFileBytes(Out("b.txt")), "b");
}

TEST_F(Extraction, UnixPermissionsApplyToFilesAndDirectoriesButNeverMakeLinksOrSpecialBits) {
  if (platform::ReadPermissions(work.Path()) == -1) GTEST_SKIP() << "no permission bits here";
  auto unixEntry = [](ZipEntry entry, uint32_t mode) {
    entry.versionMadeBy = test::kMadeByUnix;
    entry.externalAttributes = mode << 16 | (entry.externalAttributes & 0x10);
    return entry;
  };
  ASSERT_TRUE(ForceDirectories(dest));
  test::WriteFileBytes(Out("program"), "old program");
  ASSERT_EQ(platform::WritePermissions(Out("program"), 0750), 0);
  ZipArchive archive;
  archive.entries = {
      unixEntry(test::StoredEntry("tool", "#!"), 0100755),
      unixEntry(test::StoredEntry("setuid", "#!"), 0104755),
      unixEntry(test::StoredEntry("link", "target"), 0120777),
      unixEntry(Directory("locked/"), 040555),
      unixEntry(test::StoredEntry("locked/inner", "in"), 0100644),
      test::StoredEntry("program", "new program")};  // made on DOS: no permission bits
  EXPECT_EQ(Extract(archive), 6);
  EXPECT_EQ(platform::ReadPermissions(Out("tool")), 0755);
  EXPECT_EQ(platform::ReadPermissions(Out("setuid")), 0755);
  EXPECT_EQ(test::ReadFileBytes(Out("link")), "target");  // a plain file, whatever its mode said
  EXPECT_EQ(platform::ReadPermissions(Out("locked")), 0755);  // the owner may still write there
  EXPECT_EQ(platform::ReadPermissions(Out("locked\\inner")), 0644);
  EXPECT_EQ(test::ReadFileBytes(Out("program")), "new program");
  EXPECT_EQ(platform::ReadPermissions(Out("program")), 0750);  // still executable
}

TEST_F(Extraction, TheDestDirSetterDropsOneTrailingBackslash) {
  zipper.SetDestDir("C:\\dir\\");
  EXPECT_EQ(zipper.DestDir(), "C:\\dir");
  zipper.SetDestDir("dir\\sub");
  EXPECT_EQ(zipper.DestDir(), "dir\\sub");
  zipper.SetRootDir("");
  EXPECT_EQ(zipper.RelativePathList, std::vector<std::string>{""});
}

TEST_F(Extraction, AskingForTheDestinationWithoutAChooserIsACancel) {
  try {
    zipper.SetDestDir("?");
    ADD_FAILURE() << "nothing raised";
  } catch (const EUserCanceled& e) {
    EXPECT_EQ(e.Message(), "User canceled Set Desination Directory");
  }
}

TEST_F(Extraction, AnEmptyDeflatedEntryWithoutDataIsAnEmptyFile) {
  ZipEntry empty = test::StoredEntry("empty.txt", "");
  empty.method = 8;  // no deflate data at all, not even an empty final block
  ZipArchive archive;
  archive.entries = {empty, Deflated("after.txt", "after")};
  EXPECT_EQ(Extract(archive), 2);
  EXPECT_EQ(test::ReadFileBytes(Out("empty.txt")), "");
  EXPECT_EQ(test::ReadFileBytes(Out("after.txt")), "after");
  EXPECT_TRUE(badCrcs.empty());
}

TEST_F(Extraction, WithoutDestDirAndWithoutACurrentDirectoryTheRunFails) {
  // A name of its own, so that a file written below the root by mistake is recognised.
  const std::string name =
      "unzip-no-base-" + work.Path().substr(work.Path().find_last_of('\\') + 1) + ".txt";
  ZipArchive archive;
  archive.entries = {test::StoredEntry(name, "x")};
  test::WriteFileBytes(zipPath, test::BuildZip(archive));
  const std::string gone = work.File("gone");
  ASSERT_TRUE(ForceDirectories(gone));
  const std::string saved = platform::CurrentDirectory();
  ASSERT_TRUE(platform::ChangeDirectory(gone));
  const bool removed = platform::DeleteDirectory(gone);
  const bool unknown = platform::CurrentDirectory().empty();
  if (!removed || !unknown) {
    ASSERT_TRUE(platform::ChangeDirectory(saved));
    GTEST_SKIP() << "this system keeps a current directory that cannot be removed or that it "
                    "still reports after its removal";
  }
  zipper.SetZipName(zipPath);
  zipper.SetDestDir("");
  std::string message;
  try {
    zipper.UnZip();
  } catch (const EUnZipException& e) {
    message = e.Message();
  }
  ASSERT_TRUE(platform::ChangeDirectory(saved));
  const bool underRoot = platform::FileExists("\\" + name);
  if (underRoot) (void)platform::RemoveFile("\\" + name);
  EXPECT_FALSE(underRoot);
  EXPECT_EQ(message,
            "The current directory cannot be determined, and no destination directory is set");
  EXPECT_EQ(completed, std::vector<int>{0});
}

}  // namespace
