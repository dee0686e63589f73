// End-to-end tests of the unzipper command: it runs as its own process on archives that
// Info-ZIP zip, 7-Zip and Python's zipfile made during the test run, and on hand-made damaged
// ones; files, bytes, times and exit statuses are checked.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "support/links.h"
#include "support/raw_deflate.h"
#include "support/temp_dir.h"
#include "support/tool_run.h"
#include "support/zip_writer.h"
#include "tools/unzipper_run.h"

namespace {

using test::RunUnzipper;
using test::ToolRun;

std::string Content(const std::string& relative) {
  return test::ToolArchive("content\\" + relative);
}

// Every file of `names` extracted below `dest` has the original's bytes and time.
void ExpectOriginals(const std::string& dest, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(platform::FileExists(dest + "\\" + name));
    EXPECT_EQ(test::ReadFileBytes(dest + "\\" + name), test::ReadFileBytes(Content(name)));
    EXPECT_EQ(platform::FileDosDateTime(dest + "\\" + name),
              platform::FileDosDateTime(Content(name)));
  }
}

const std::vector<std::string> kAllFiles = {"readme.txt", "empty.txt", "sub\\nested.txt",
                                            "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt", "data.bin"};

TEST(Unzipper, ExtractsWhatOtherToolsMadeByteForByteWithTheirTimes) {
  struct Case {
    const char* archive;
    const char* password;
    std::vector<std::string> files;
  };
  std::vector<std::string> withText = kAllFiles;
  withText.push_back("text.txt");
  const Case cases[] = {
      {"infozip.zip", nullptr, kAllFiles},
      {"infozip64.zip", nullptr, kAllFiles},
      {"split.zip", nullptr, kAllFiles},
      {"sevenzip.zip", nullptr, kAllFiles},
      {"python.zip", nullptr, kAllFiles},
      {"infozip_password.zip",
       "zip-secret",
       {"readme.txt", "sub\\nested.txt", "data.bin", "text.txt"}},
      {"sevenzip_aes128.zip", "aes-secret", withText},
      {"sevenzip_aes192.zip", "aes-secret", withText},
      {"sevenzip_aes256.zip", "aes-secret", withText},
      {"sevenzip_aes256_stored.zip", "aes-secret", withText},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.archive);
    test::TempDir work;
    const std::string dest = work.File("out");
    std::vector<std::string> arguments = {"x", "-d", test::NativePath(dest)};
    if (c.password) arguments.insert(arguments.end(), {"-p", c.password});
    arguments.push_back(test::ToolArchive(c.archive));
    const ToolRun run = RunUnzipper(work, arguments);
    EXPECT_EQ(run.status, 0) << run.err;
    ExpectOriginals(dest, c.files);
  }
}

TEST(Unzipper, TestsWithoutLeavingAnythingAndNamesBadEntries) {
  test::TempDir work;
  ToolRun run =
      RunUnzipper(work, {"t", "-p", "aes-secret", test::ToolArchive("sevenzip_aes256.zip")});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("7 entries verified, 0 with problems"), std::string::npos) << run.out;

  run = RunUnzipper(work, {"t", "-p", "wrong", test::ToolArchive("infozip_password.zip")});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("readme.txt: wrong or missing password"), std::string::npos) << run.err;

  // Without a password and without a terminal nobody can be asked.
  run = RunUnzipper(work, {"t", test::ToolArchive("sevenzip_aes128.zip")});
  EXPECT_EQ(run.status, 1);
}

TEST(Unzipper, ListsEntriesWithTheirMethodsAndTheComment) {
  test::TempDir work;
  const ToolRun run = RunUnzipper(work, {"l", test::ToolArchive("python.zip")});
  EXPECT_EQ(run.status, 0) << run.err;
  for (const char* expected : {"Deflated", "sub/nested.txt", "eb50cc6a", "2008-02-29 18:00",
                               "Comment: archive comment", "5 entries"}) {
    EXPECT_NE(run.out.find(expected), std::string::npos) << expected << "\n" << run.out;
  }
  const ToolRun older = RunUnzipper(work, {"l", test::SourceFile("tests/fixtures/fx_shrink.zip")});
  EXPECT_NE(older.out.find("Shrunk"), std::string::npos) << older.out;
}

TEST(Unzipper, ExitStatusesSayWhatHappened) {
  test::TempDir work;
  const std::string dest = work.File("out");

  // Patterns choose entries ("/" separates as in the archive); an existing file is kept unless
  // asked for; a pattern that chooses nothing is named.
  ToolRun run = RunUnzipper(work, {"x", "-d", test::NativePath(dest),
                                   test::ToolArchive("infozip.zip"), "*.TXT", "sub/*"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(platform::FileExists(dest + "\\readme.txt"));
  EXPECT_TRUE(platform::FileExists(dest + "\\sub\\nested.txt"));
  run = RunUnzipper(
      work, {"x", "-d", test::NativePath(dest), test::ToolArchive("infozip.zip"), "nothing-*"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("no entry matches nothing-*"), std::string::npos) << run.err;
  EXPECT_FALSE(platform::FileExists(dest + "\\data.bin"));
  run = RunUnzipper(
      work, {"x", "-d", test::NativePath(dest), test::ToolArchive("infozip.zip"), "readme.txt"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("readme.txt: exists already, not replaced"), std::string::npos) << run.err;
  run = RunUnzipper(work, {"x", "-o", "always", "-d", test::NativePath(dest),
                           test::ToolArchive("infozip.zip"), "readme.txt"});
  EXPECT_EQ(run.status, 0) << run.err;

  // Names that leave the destination, and an absolute name that is placed below it.
  test::ZipArchive unsafe;
  test::ZipEntry escape;
  escape.name = "../escape.txt";
  escape.data = "x";
  test::ZipEntry absolute = escape;
  absolute.name = "/abs/file.txt";
  unsafe.entries = {escape, absolute};
  test::WriteFileBytes(work.File("unsafe.zip"), test::BuildZip(unsafe));
  run = RunUnzipper(work,
                    {"x", "-d", test::NativePath(dest), test::NativePath(work.File("unsafe.zip"))});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("../escape.txt: unsafe"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("stripped absolute path spec from /abs/file.txt"), std::string::npos)
      << run.err;
  EXPECT_FALSE(platform::FileExists(work.File("escape.txt")));
  EXPECT_TRUE(platform::FileExists(dest + "\\abs\\file.txt"));

  // Not an archive, and a wrong command line.
  test::WriteFileBytes(work.File("text.zip"), std::string(5000, 't'));
  run = RunUnzipper(work,
                    {"x", "-d", test::NativePath(dest), test::NativePath(work.File("text.zip"))});
  EXPECT_EQ(run.status, 2);
  EXPECT_FALSE(run.err.empty());
  EXPECT_EQ(RunUnzipper(work, {"l", test::NativePath(work.File("missing.zip"))}).status, 2);
  EXPECT_EQ(RunUnzipper(work, {"q"}).status, 2);
  run = RunUnzipper(work, {"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("Exit status"), std::string::npos);
  run = RunUnzipper(work, {"--version"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("unzipper 1.1.0.0", 0), 0u) << run.out;
}

TEST(Unzipper, AFileTheUserMayNotWriteIsSkippedAsNotCreated) {
  // Root writes anywhere: the unwritable file needs an unprivileged user.
  if (test::NativePath("\\") != "/" ||
      std::system("[ \"$(id -u)\" = 0 ] && command -v runuser > /dev/null") != 0) {
    GTEST_SKIP() << "needs Linux, root and runuser, to run unzipper as another user";
  }
  test::TempDir work;
  const std::string dest = work.File("out");
  ASSERT_TRUE(platform::MakeDirectories(dest));
  test::WriteFileBytes(dest + "\\readme.txt", "root's file");
  // The directory and the file stay root's; the output file of stderr must be the user's to fill.
  ASSERT_EQ(
      std::system(("chmod 755 '" + test::NativePath(work.Path()) + "' '" + test::NativePath(dest) +
                   "' && chmod 777 '" + test::NativePath(work.Path()) + "'")
                      .c_str()),
      0);
  const std::string command = "runuser -u nobody -- " + test::NativePath(UPDATE_UNZIPPER) +
                              " x -o always -d '" + test::NativePath(dest) + "' '" +
                              test::ToolArchive("infozip.zip") + "' readme.txt 2> '" +
                              test::NativePath(work.File("err.txt")) + "'";
  const int raw = std::system(command.c_str());
  EXPECT_EQ(raw >> 8, 1);
  const std::string err = test::ReadFileBytes(work.File("err.txt"));
  EXPECT_NE(err.find("readme.txt: cannot be created: Permission denied"), std::string::npos) << err;
  EXPECT_EQ(test::ReadFileBytes(dest + "\\readme.txt"), "root's file");
}

bool OnLinux() {
  return test::NativePath("\\") == "/";
}

TEST(Unzipper, PathsMayUseEitherSeparatorAndMissingParentsAreMade) {
  test::TempDir work;
  // "out" exists, "new" does not; the host's own separator is mixed with "/".
  ASSERT_TRUE(platform::MakeDirectories(work.File("out")));
  const std::string typed = test::NativePath(work.File("out")) + "/new/sub";
  ToolRun run = RunUnzipper(work, {"x", "-d", typed, test::ToolArchive("infozip.zip")});
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectOriginals(work.File("out\\new\\sub"), kAllFiles);
  EXPECT_EQ(run.err.find("cannot be created"), std::string::npos) << run.err;
}

TEST(Unzipper, QuestionMarksTakeWholeCharacters) {
  test::TempDir work;
  const std::string dest = work.File("out");
  const ToolRun run = RunUnzipper(
      work, {"x", "-d", test::NativePath(dest), test::ToolArchive("infozip.zip"), "????.txt"});
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectOriginals(dest, {"\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt"});
  EXPECT_FALSE(platform::FileExists(dest + "\\readme.txt"));
}

TEST(Unzipper, MessagesShowPathsAsTheUserWroteThem) {
  test::TempDir work;
  const std::string missing = test::NativePath(work.File("missing.zip"));
  ToolRun run = RunUnzipper(work, {"l", missing});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unzipper: cannot open " + missing + ": "), std::string::npos) << run.err;
  if (OnLinux()) {
    EXPECT_EQ(run.err.find('\\'), std::string::npos) << run.err;
  }
  run = RunUnzipper(work, {"x", "-d", test::NativePath(work.File("out")), missing});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("unzipper: cannot open " + missing + ": "), std::string::npos) << run.err;

  // A file that is not an archive is called so, beside the component's own words.
  test::WriteFileBytes(work.File("notes.txt"), std::string(5000, 't'));
  const std::string notes = test::NativePath(work.File("notes.txt"));
  for (const char* command : {"l", "t", "x"}) {
    run = RunUnzipper(work, {command, notes});
    EXPECT_EQ(run.status, 2) << command;
    EXPECT_NE(run.err.find("unzipper: " + notes + " is not a ZIP archive"), std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("(it has no end record)"), std::string::npos) << run.err;
  }
}

TEST(Unzipper, AFileThatCannotBeCreatedSaysWhy) {
  test::TempDir work;
  const std::string longName = std::string(300, 'x') + ".txt";
  test::WriteFileBytes(
      work.File("in.zip"),
      test::BuildZipOfFiles(
          {{"readme.txt", "r"}, {"blocked/in.txt", "b"}, {longName, "l"}, {"ok.txt", "o"}}));
  const std::string dest = work.File("out");
  ASSERT_TRUE(platform::MakeDirectories(dest + "\\readme.txt"));
  test::WriteFileBytes(dest + "\\blocked", "a file where a directory should be");
  const std::string typed = test::NativePath(dest);
  const ToolRun run =
      RunUnzipper(work, {"x", "-o", "always", "-d", typed, test::NativePath(work.File("in.zip"))});
  EXPECT_EQ(run.status, 1);
  for (const std::string& expected :
       {std::string("readme.txt: cannot be created: a directory of that name is in the way"),
        "blocked/in.txt: cannot be created: the file " + typed + test::NativePath("\\") +
            "blocked is in the way of its directory",
        longName + ": cannot be created: " +
            (OnLinux() ? std::string("File name too long") : std::string())}) {
    EXPECT_NE(run.err.find(expected), std::string::npos) << expected << "\n" << run.err;
  }
  EXPECT_EQ(test::ReadFileBytes(dest + "\\ok.txt"), "o");
}

TEST(Unzipper, ADamagedEntryIsNamedWithItsReasonAndTheOthersFollow) {
  test::TempDir work;
  test::ZipArchive archive;
  const auto stored = [](const std::string& name, const std::string& data) {
    test::ZipEntry entry;
    entry.name = name;
    entry.data = data;
    return entry;
  };
  test::ZipEntry badBlock = stored("bad-block.txt", "\x07garbage");
  badBlock.method = 8;
  badBlock.uncompressedSize = 100;
  std::string noise(20000, '\0');
  uint32_t state = 1;
  for (char& c : noise) c = static_cast<char>((state = state * 1103515245 + 12345) >> 24);
  const std::string deflated = test::RawDeflate(noise);
  test::ZipEntry cut = stored("cut.txt", deflated.substr(0, deflated.size() / 2));
  cut.method = 8;
  cut.crc = test::Crc32(noise);
  cut.uncompressedSize = static_cast<uint32_t>(noise.size());
  test::ZipEntry nowhere = stored("nowhere.txt", "n");
  archive.entries = {stored("first.txt", "1"), badBlock, stored("second.txt", "2"), cut,
                     stored("third.txt", "3"), nowhere,  stored("fourth.txt", "4")};
  // The central header of "nowhere.txt" places its local header past the end of the archive.
  archive.entries[5].localHeaderOffset = 0x7FFF0000;
  test::WriteFileBytes(work.File("damaged.zip"), test::BuildZip(archive));
  const std::string zip = test::NativePath(work.File("damaged.zip"));
  const std::string dest = work.File("out");

  ToolRun run = RunUnzipper(work, {"x", "-d", test::NativePath(dest), zip});
  EXPECT_EQ(run.status, 1) << run.err;
  // The deflate library's own words follow "error: " (they differ between the libraries).
  for (const char* expected : {"bad-block.txt: damaged data: error: ",
                               "cut.txt: damaged data: error: unexpected end of deflate data",
                               "nowhere.txt: damaged data: Premature end of file reached"}) {
    EXPECT_NE(run.err.find(expected), std::string::npos) << expected << "\n" << run.err;
  }
  for (const char* name : {"first", "second", "third", "fourth"}) {
    EXPECT_TRUE(platform::FileExists(dest + "\\" + name + ".txt")) << name;
  }
  for (const char* name : {"bad-block", "cut", "nowhere"}) {
    EXPECT_FALSE(platform::FileExists(dest + "\\" + name + ".txt")) << name;
  }
  // Each is named once.
  EXPECT_EQ(run.err.find("bad-block.txt"), run.err.rfind("bad-block.txt")) << run.err;

  run = RunUnzipper(work, {"t", zip});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.out.find("4 entries verified, 3 with problems"), std::string::npos) << run.out;

  // Chosen by pattern, the entries after a damaged one follow as well.
  run = RunUnzipper(
      work, {"x", "-o", "always", "-d", test::NativePath(work.File("some")), zip, "*<!n>.txt"});
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_TRUE(platform::FileExists(work.File("some\\fourth.txt")));
  EXPECT_FALSE(platform::FileExists(work.File("some\\second.txt")));  // refused by its "n"
}

TEST(Unzipper, RefusedEntriesAreNamedWithTheirReasonInWords) {
  test::TempDir work;
  const auto entry = [](const std::string& name, uint16_t method, uint16_t flags) {
    test::ZipEntry e = test::StoredEntry(name, "data");
    e.method = method;
    e.flags = flags;
    return e;
  };
  test::ZipEntry dosDirectory = test::StoredEntry("old", "");
  dosDirectory.externalAttributes = 0x10;
  test::ZipArchive archive;
  archive.entries = {entry("x.dat", 12, 0),
                     entry("z.dat", 13, 0),
                     entry("l.dat", 14, 0),
                     entry("y.dat", 0, 0x41),
                     test::StoredEntry("blocked/", ""),
                     dosDirectory,
                     test::StoredEntry("old/in.txt", "in"),
                     test::StoredEntry("ok.txt", "ok")};
  test::WriteFileBytes(work.File("in.zip"), test::BuildZip(archive));
  const std::string dest = work.File("out");
  ASSERT_TRUE(platform::MakeDirectories(dest));
  test::WriteFileBytes(dest + "\\blocked", "a file where the directory should be");
  const ToolRun run = RunUnzipper(work, {"x", "-o", "always", "-d", test::NativePath(dest),
                                         test::NativePath(work.File("in.zip"))});
  EXPECT_EQ(run.status, 1) << run.err;
  const std::vector<std::string> lines = {
      "x.dat: compressed with bzip2 (method 12), which this program does not read",
      "z.dat: compressed with method 13, which this program does not read",
      "l.dat: compressed with LZMA (method 14), which this program does not read",
      "y.dat: encrypted with PKWARE strong encryption, which this program does not read",
      "blocked/: cannot be created: a file of that name is in the way",
  };
  std::string expected;
  for (const std::string& line : lines) expected += line + "\n";
  EXPECT_EQ(run.err, expected);
  EXPECT_EQ(test::ReadFileBytes(dest + "\\old\\in.txt"), "in");
  EXPECT_EQ(test::ReadFileBytes(dest + "\\ok.txt"), "ok");
}

TEST(Unzipper, AnEndRecordNamingASplitSetThatIsNotThereIsDamaged) {
  test::TempDir work;
  for (const uint16_t startDisk : {uint16_t{0}, uint16_t{8225}}) {
    test::ZipArchive archive;
    archive.entries = {test::StoredEntry("a.txt", "a")};
    archive.end.thisDisk = 8225;
    archive.end.startDisk = startDisk;
    test::WriteFileBytes(work.File("x.zip"), test::BuildZip(archive));
    const ToolRun run = RunUnzipper(work, {"x", "-d", test::NativePath(work.File("out")),
                                           test::NativePath(work.File("x.zip"))});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.err, "unzipper: " + test::NativePath(work.File("x.zip")) +
                           ": the archive's end record is damaged (it names part 8,226 of a "
                           "split set that does not exist)\n");
  }
}

// Links and a FIFO in the destination: nothing is written through a link or into a FIFO, and the
// run ends and names each with its reason. "always" replaces a link to a file (itself); "never"
// leaves it, also a dangling one, which then makes no file where it leads.
TEST(Unzipper, NothingIsWrittenThroughLinksOrIntoAFifoInTheDestination) {
  struct Case {
    const char* overwrite;
    bool filesReplaced;  // the links to files are replaced by the archive's files
  };
  for (const Case& c : {Case{"never", false}, Case{"always", true}}) {
    SCOPED_TRACE(c.overwrite);
    test::TempDir work;
    const std::string dest = work.File("out");
    const std::string typed = test::NativePath(dest);
    ASSERT_TRUE(platform::MakeDirectories(dest));
    ASSERT_TRUE(platform::MakeDirectories(work.File("outside")));
    test::WriteFileBytes(work.File("outside\\a.txt"), "outside");
    if (!test::MakeLink(work.File("outside\\a.txt"), dest + "\\flink.txt", false) ||
        !test::MakeLink(work.File("outside\\new.txt"), dest + "\\dangling.txt", false) ||
        !test::MakeLink(work.File("outside"), dest + "\\dlink", true)) {
      GTEST_SKIP() << "this system makes no symbolic links";
    }
    const bool fifo = test::MakeFifo(dest + "\\fifo.txt");
    test::WriteFileBytes(work.File("in.zip"), test::BuildZipOfFiles({{"flink.txt", "new f"},
                                                                     {"dangling.txt", "new d"},
                                                                     {"dlink/x.txt", "x"},
                                                                     {"dlink/sub/", ""},
                                                                     {"fifo.txt", "into"},
                                                                     {"ok.txt", "ok"}}));
    const ToolRun run = RunUnzipper(
        work, {"x", "-o", c.overwrite, "-d", typed, test::NativePath(work.File("in.zip"))});
    EXPECT_EQ(run.status, 1) << run.err;
    const std::string linkReason = ": unsafe: " + typed + test::NativePath("\\") +
                                   "dlink is a link, and nothing is "
                                   "written through links";
    std::vector<std::string> expected = {"dlink/x.txt" + linkReason, "dlink/sub/" + linkReason};
    if (!c.filesReplaced) {
      expected.push_back("flink.txt: exists already, not replaced");
      expected.push_back("dangling.txt: exists already, not replaced");
    }
    if (fifo) expected.push_back("fifo.txt: cannot be created: a FIFO is in the way");
    for (const std::string& line : expected) {
      EXPECT_NE(run.err.find(line), std::string::npos) << line << "\n" << run.err;
    }
    EXPECT_EQ(test::ReadFileBytes(dest + "\\ok.txt"), "ok");
    for (const char* name : {"flink.txt", "dangling.txt"}) {
      EXPECT_EQ(platform::LinkFreeKind(dest + "\\" + name),
                c.filesReplaced ? platform::PathKind::kFile : platform::PathKind::kLink)
          << name;
    }
    if (c.filesReplaced) {
      EXPECT_EQ(test::ReadFileBytes(dest + "\\flink.txt"), "new f");
    }
    // Outside the destination nothing changed.
    EXPECT_EQ(test::ReadFileBytes(work.File("outside\\a.txt")), "outside");
    for (const char* name : {"new.txt", "x.txt", "sub"}) {
      EXPECT_EQ(platform::LinkFreeKind(work.File("outside\\") + name), platform::PathKind::kMissing)
          << name;
    }
  }
}

}  // namespace
