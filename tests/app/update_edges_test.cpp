// End-to-end tests of the updater at the edges of what it is handed: keys of this machine that
// cannot be used, directory entries below a link, a program in a sub-directory, names that can
// never be the program, an archive's name taken by a directory, names with a "." part, a journal
// left by a refused run, a program that cannot be started, and what the program finds in
// update.result when it starts.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "platform/file_helpers.h"
#include "platform/files.h"
#include "support/child_processes.h"
#include "support/temp_dir.h"
#include "support/updater_fixture.h"
#include "support/zip_writer.h"

namespace {

class UpdaterEdges : public test::UpdaterFixture {
 protected:
  void Shell(const std::string& command) { ASSERT_EQ(std::system(command.c_str()), 0) << command; }
  std::string Native(const std::string& file) { return "'" + test::NativePath(Path(file)) + "'"; }

  // A fresh round: the program `name` running, data.txt old, no result, log or restart record.
  void Arrange(const std::string& name) {
    Shell("cd " + Native("") +
          " && rm -rf update.zip update.zip.sig update.zip.refused update.zip.refused.sig "
          "update.log update.result uplog.txt .update-journal data.txt");
    (void)platform::RemoveFile(work_.File("restart.txt"));
    test::WriteFileBytes(Path("data.txt"), "old");
    if (!name.empty() && !Running(name)) {
      (void)platform::RemoveFile(work_.File("first.txt"));
      StartProgram(name);
    }
  }
};

// The key beside the updater is this machine's: when it cannot be used, a good archive and its
// signature stay for a later run, and the refusal says what is wrong with the key.
TEST_F(UpdaterEdges, AKeyThatCannotBeUsedKeepsTheArchiveAndNamesTheKey) {
  if (std::system("command -v openssl > /dev/null") != 0) GTEST_SKIP() << "needs openssl";
  test::MakeKeyPair(work_.Path(), "publisher");
  const std::string name = test::UniqueName("keyed-") + ".bin";
  AddProgram(name);
  struct Case {
    const char* what;
    const char* arrange;  // a shell command run in the program directory
    const char* said;     // a part of update.result's reason
  };
  const Case cases[] = {
      {"a link that leads nowhere", "ln -s nowhere.pub update.pub", "leads nowhere"},
      {"a loop of links", "ln -s update.pub update.pub", "update.pub cannot be read"},
      {"a directory", "mkdir update.pub", "update.pub is a directory"},
      {"a FIFO", "mkfifo update.pub", "update.pub is a special file"},
      {"junk", "echo junk > update.pub", "update.pub holds no PEM public key"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Arrange(name);
    Shell("cd " + Native("") + " && rm -rf update.pub && " + c.arrange);
    WriteArchive({{"data.txt", "new"}});
    test::Sign(work_.File("publisher.pem"), Path("update.zip"), Path("update.zip.sig"));
    test::WriteFileBytes(Path("uplog.txt"), name + "\n");
    EXPECT_EQ(RunUpdater(), 1) << stderr_;
    EXPECT_TRUE(Running(name));
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
    EXPECT_TRUE(platform::FileExists(Path("update.zip")));
    EXPECT_TRUE(platform::FileExists(Path("update.zip.sig")));
    EXPECT_FALSE(platform::FileExists(Path("update.zip.refused")));
    EXPECT_EQ(ResultItem("code"), "passing");
    EXPECT_NE(ResultItem("reason").find("the key of this installation cannot be used"),
              std::string::npos)
        << ResultItem("reason");
    EXPECT_NE(ResultItem("reason").find(c.said), std::string::npos) << ResultItem("reason");
    ExpectLogInOrder({"started; update.zip", "the key of this installation cannot be used"});
  }
  Shell("rm -rf " + Native("update.pub"));
}

// What an update writes, directories included, never goes through a link: the directories an
// archive only names are checked before anything is closed like the files it brings.
TEST_F(UpdaterEdges, DirectoryEntriesBelowALinkAreRefusedBeforeClosing) {
  const std::string name = test::UniqueName("linked-") + ".bin";
  AddProgram(name);
  Arrange(name);
  const std::string elsewhere = work_.File("elsewhere");
  Shell("mkdir -p '" + test::NativePath(elsewhere) + "/existing' && chmod 700 '" +
        test::NativePath(elsewhere) + "/existing' && ln -s ../elsewhere " + Native("data"));
  test::ZipArchive archive;
  archive.entries.push_back(test::StoredEntry("data/planted/", ""));
  archive.entries.push_back(test::StoredEntry("data/existing/", ""));
  archive.entries.back().versionMadeBy = test::kMadeByUnix;  // mode 0777
  archive.entries.back().externalAttributes = (040777u << 16) | 0x10;
  test::WriteFileBytes(Path("update.zip"), test::BuildZip(archive));
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");

  EXPECT_EQ(RunUpdater(), 1) << stderr_;
  EXPECT_TRUE(Running(name));
  EXPECT_FALSE(platform::DirectoryExists(elsewhere + "\\planted"));
  struct stat st {};
  ASSERT_EQ(stat((test::NativePath(elsewhere) + "/existing").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(ResultItem("result"), "not-applied");
  EXPECT_NE(ResultItem("reason").find("data is a link"), std::string::npos) << ResultItem("reason");
  ExpectLogInOrder({"started; update.zip", "data is a link"});
  Shell("rm " + Native("data"));
}

// The name in uplog.txt: a program in a sub-directory of the program directory is the program;
// a name that leaves the directory, lies behind a link or names the updater is refused before
// anything is closed, saying what is wrong; the program is started only under a name it has.
TEST_F(UpdaterEdges, TheProgramIsNamedByAPathBelowTheProgramDirectoryAndNeverAsTheUpdater) {
  const std::string name = test::UniqueName("sub-") + ".bin";
  Shell("mkdir -p " + Native("bin") + " && ln -s bin " + Native("lnk"));
  AddProgram("bin\\" + name);
  struct Case {
    const char* what;
    std::string named;  // uplog.txt's line
    int exit;
    const char* code;
    const char* said;  // a part of update.result's reason; empty: applied
    bool restarted;
  };
  const Case cases[] = {
      {"slashes", "bin/" + name, 0, "applied", "", true},
      {"backslashes", "bin\\" + name, 0, "applied", "", true},
      {"behind a link", "lnk/" + name, 1, "not-started", "lies behind lnk", false},
      {"out and back", "bin/../../elsewhere/" + name, 1, "not-started",
       "is not in the program directory", false},
      {"the updater itself", "update", 1, "not-started", "which is the updater, not the program",
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Arrange("");
    if (!Running(name)) {
      (void)platform::RemoveFile(work_.File("first.txt"));
      StartProgram("bin\\" + name);
    }
    WriteArchive({{"data.txt", "new"}});
    test::WriteFileBytes(Path("uplog.txt"), c.named + "\n");
    EXPECT_EQ(RunUpdater(), c.exit) << stderr_;
    EXPECT_EQ(ResultItem("code"), c.code);
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), c.exit == 0 ? "new" : "old");
    if (c.restarted) {
      EXPECT_EQ(Restart(), "-start\n");
      // Started with "-start" it ends at once: the next row starts one that stays.
      EXPECT_TRUE(test::WaitFor([&] { return !Running(name); }));
    } else {
      EXPECT_TRUE(Running(name)) << "the program was closed for a name that was refused";
      EXPECT_NE(ResultItem("reason").find(c.said), std::string::npos) << ResultItem("reason");
      EXPECT_TRUE(platform::FileExists(Path("update.zip")));
    }
  }
  Shell("rm " + Native("lnk"));
}

// Where the archive's name is taken by a directory there is nothing to apply: it is left alone
// and the program only starts again.
TEST_F(UpdaterEdges, ADirectoryCalledUpdateZipIsNothingToApply) {
  const std::string name = test::UniqueName("dir-") + ".bin";
  AddProgram(name);
  Arrange("");
  Shell("mkdir " + Native("update.zip") + " && touch " + Native("update.zip/inside"));
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_TRUE(platform::FileExists(Path("update.zip\\inside")));
  EXPECT_FALSE(platform::DirectoryExists(Path("update.zip.refused")));
  EXPECT_FALSE(platform::FileExists(Path(".update-journal")));
  EXPECT_EQ(ResultItem("code"), "nothing");
}

// The rules before closing are those of the commit: a name with a "." part is refused while the
// program still runs, and the archive goes aside.
TEST_F(UpdaterEdges, NamesWithADotPartAreRefusedBeforeClosing) {
  const std::string name = test::UniqueName("dot-") + ".bin";
  AddProgram(name);
  for (const char* entry : {"./.update-release", "sub/./x.txt", "./data.txt"}) {
    SCOPED_TRACE(entry);
    Arrange(name);
    WriteArchive({{entry, "new"}});
    test::WriteFileBytes(Path("uplog.txt"), name + "\n");
    EXPECT_EQ(RunUpdater(), 1) << stderr_;
    EXPECT_TRUE(Running(name));
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
    EXPECT_TRUE(platform::FileExists(Path("update.zip.refused")));
    EXPECT_EQ(ResultItem("code"), "refused");
    EXPECT_NE(ResultItem("reason").find("is not a plain path"), std::string::npos)
        << ResultItem("reason");
  }
}

// A journal remembers the program's name for the archive it was written for: a later, other
// archive that comes without uplog.txt does not inherit it.
TEST_F(UpdaterEdges, AJournalNamesTheProgramOnlyForItsOwnArchive) {
  const std::string name = test::UniqueName("old-") + ".bin";
  AddProgram(name);
  AddProgram("main.exe");
  Arrange(name);
  // Refused for a passing reason: the name stays, bound to this archive.
  Shell("ln -s .. " + Native("sub"));
  WriteArchive({{"sub/data.txt", "new"}});
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  EXPECT_EQ(RunUpdater(), 1) << stderr_;
  EXPECT_TRUE(platform::FileExists(Path(".update-journal")));
  Shell("rm " + Native("sub"));
  // Another archive, no hand-over file: the default program, not the remembered one.
  WriteArchive({{"data.txt", "new"}});
  (void)platform::RemoveFile(Path("update.log"));
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_TRUE(Running(name)) << "the program of another archive was closed";
  ExpectLogInOrder({"main program: main.exe", "started main.exe -start"});
}

// A run whose program cannot be started, or named, ends with exit 1 and says so, with or without
// an archive; a forgotten uplog.txt never makes "main.exe" of a program that is not there.
TEST_F(UpdaterEdges, AProgramThatCannotBeStartedOrNamedIsNotReportedAsSuccess) {
  const std::string name = test::UniqueName("stays-") + ".bin";
  AddProgram(name);
  struct Case {
    const char* what;
    bool archive;
    const char* handOver;  // nullptr: none
    const char* said;
  };
  const Case cases[] = {
      {"a missing program, no archive", false, "missing.bin", "missing.bin could not be started"},
      {"a missing program, an archive", true, "missing.bin", "missing.bin could not be started"},
      {"no uplog.txt and no main.exe", true, nullptr, "uplog.txt is missing, and no main.exe"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Arrange(name);
    if (c.archive) WriteArchive({{"data.txt", "new"}});
    if (c.handOver != nullptr) test::WriteFileBytes(Path("uplog.txt"), std::string(c.handOver));
    EXPECT_EQ(RunUpdater(), 1) << stderr_;
    EXPECT_EQ(ResultItem("code"), "not-started");
    EXPECT_NE(ResultItem("reason").find(c.said), std::string::npos) << ResultItem("reason");
    EXPECT_TRUE(Running(name));
    if (c.handOver == nullptr) {
      EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
      EXPECT_TRUE(platform::FileExists(Path("update.zip")));
    }
  }
}

// The program reads update.result when it starts: this run's, never the last one's.
TEST_F(UpdaterEdges, UpdateResultIsInPlaceBeforeTheProgramStarts) {
  const std::string name = test::UniqueName("reads-") + ".bin";
  AddProgram(name);
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> archive;  // empty: none
    const char* found;
  };
  const Case cases[] = {
      {"applied", {{"data.txt", "new"}}, "result applied / code applied"},
      {"refused", {{".update-journal", "x"}}, "result not-applied / code refused"},
      {"nothing", {}, "result nothing / code nothing"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Arrange("");
    // The last run's result, which this run must not leave for the program to find.
    test::WriteFileBytes(Path("update.result"), "result applied\ncode applied\n");
    if (!c.archive.empty()) WriteArchive(c.archive);
    test::WriteFileBytes(Path("uplog.txt"), name + "\n");
    RunUpdater("", "UPDATE_CHILD_RESULT=1");
    EXPECT_EQ(Restart(), std::string("-start\nupdate.result: ") + c.found + "\n");
  }
}

}  // namespace
