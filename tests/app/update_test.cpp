// End-to-end tests of the updater: the real `update` runs in a temporary program directory (without
// a display) beside a copy of the test's child program standing in for the main program, and the
// files, the exit status, the arguments the program was started again with and update.log are
// checked.
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>

#include "app/update_transaction.h"
#include "platform/file_helpers.h"
#include "platform/files.h"
#include "platform/instance_guard.h"
#include "platform/processes.h"
#include "platform/temporary_tree.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/raw_deflate.h"
#include "support/temp_dir.h"
#include "support/updater_fixture.h"
#include "support/zip_writer.h"

namespace {

namespace fs = std::filesystem;
using test::MakeKeyPair;
using test::Sign;

class UpdateRun : public test::UpdaterFixture {};

TEST_F(UpdateRun, AppliesTheUpdateAndStartsTheProgramAgainUnderItsOwnName) {
  const std::string name = test::UniqueName("prog-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  test::WriteFileBytes(Path("uplog.txt"), "  " + name + "  \r\nanother line\r\n");
  test::WriteFileBytes(Path("MainRun._tmp"), "");
  test::WriteFileBytes(Path("data.txt"), "old");
  test::WriteFileBytes(Path("update.zip.ini"), "companion");
  // The new executable arrives as main.exe and takes the program's name.
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram());
  WriteArchive({{"data.txt", "new"}, {"sub/more.txt", "more"}, {"main.exe", newProgram}});

  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "new");
  EXPECT_EQ(test::ReadFileBytes(Path("sub\\more.txt")), "more");
  EXPECT_FALSE(platform::FileExists(Path("main.exe")));
  EXPECT_TRUE(platform::FileExists(Path(name)));
  for (const char* gone : {"uplog.txt", "MainRun._tmp", "update.zip", "update.zip.ini"}) {
    EXPECT_FALSE(platform::FileExists(Path(gone))) << gone;
  }
  ExpectLogInOrder({"update 1.1.0.0 started; update.zip: ", "main program: " + name,
                    "closed " + name, "replaced or added 3 files", "the update was applied",
                    "started " + name + " -start"});
}

TEST_F(UpdateRun, WithoutAnArchiveTheProgramIsOnlyRestarted) {
  AddProgram("main.exe");
  StartProgram("main.exe");
  test::WriteFileBytes(Path("uplog.txt"), "   \nignored.exe\n");  // a blank first line
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_FALSE(platform::FileExists(Path("uplog.txt")));
}

TEST_F(UpdateRun, AnArchiveThatCannotBeAppliedWholeIsKept) {
  struct Case {
    const char* what;
    std::string archive;
    std::string refusal;  // a part of the box's text
  };
  // An archive of one entry "a.txt" beside "ok.txt", changed by `change`.
  const auto oneEntry = [](const std::function<void(test::ZipEntry&)>& change) {
    test::ZipArchive archive;
    test::ZipEntry ok;
    ok.name = "ok.txt";
    ok.data = "fine";
    test::ZipEntry entry;
    entry.name = "a.txt";
    entry.data = "data";
    change(entry);
    archive.entries = {ok, entry};
    return test::BuildZip(archive);
  };
  const std::string holds = "update.zip holds ";
  const Case cases[] = {
      {"not an archive", std::string(3000, 'x'), "update.zip"},
      {"an entry outside the directory",
       oneEntry([](test::ZipEntry& e) { e.name = "../outside.txt"; }),
       holds + "..\\outside.txt, which cannot be applied"},
      {"an absolute path", oneEntry([](test::ZipEntry& e) { e.name = "/abs/a.txt"; }),
       "its name is an absolute path"},
      {"a method the updater does not read", oneEntry([](test::ZipEntry& e) { e.method = 12; }),
       holds + "a.txt, which cannot be applied: it is compressed with method 12, which the "
               "updater does not read"},
      {"strong encryption", oneEntry([](test::ZipEntry& e) { e.flags = 0x41; }),
       "it is encrypted with PKWARE strong encryption"},
      {"an encrypted entry", oneEntry([](test::ZipEntry& e) { e.flags = 0x01; }),
       "it is encrypted, and the updater has no password"},
      {"a file below the release record's name",
       oneEntry([](test::ZipEntry& e) { e.name = ".update-release/a.txt"; }),
       "the name is kept for the release record"},
      {"the release record's name in other letters",
       oneEntry([](test::ZipEntry& e) { e.name = ".Update-Release"; }),
       "the name is kept for the release record"},
  };
  AddProgram("main.exe");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    (void)platform::RemoveFile(work_.File("restart.txt"));
    test::WriteFileBytes(Path("update.zip"), c.archive);
    EXPECT_EQ(RunUpdater(), 1);
    // The message box's text, without a display: refused before anything was extracted.
    EXPECT_NE(stderr_.find(c.refusal), std::string::npos) << stderr_;
    EXPECT_FALSE(platform::FileExists(Path("ok.txt")));
    // It can never be applied as it is: set aside, so that it is not offered again.
    EXPECT_FALSE(platform::FileExists(Path("update.zip")));
    EXPECT_EQ(test::ReadFileBytes(Path("update.zip.refused")), c.archive);
    EXPECT_EQ(Restart(), "-start\n");
    EXPECT_NE(test::ReadFileBytes(Path("update.result")).find("result not-applied\n"),
              std::string::npos);
  }
  EXPECT_FALSE(platform::FileExists(work_.File("outside.txt")));
}

TEST_F(UpdateRun, AProgramThatCannotBeClosedStopsTheUpdateAfterAMinute) {
  // Only root can start a program that an unprivileged updater cannot terminate.
  if (std::system("[ \"$(id -u)\" = 0 ] && command -v runuser > /dev/null") != 0) {
    GTEST_SKIP() << "needs root and runuser, to run the updater as another user";
  }
  const std::string name = test::UniqueName("stuck-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  for (const std::string& dir : {work_.Path(), program_, work_.File("runtime")}) {
    fs::permissions(test::FsPath(dir), fs::perms::all);
  }
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  WriteArchive({{"data.txt", "new"}});
  EXPECT_EQ(RunUpdater("nobody"), 1) << stderr_;
  // Named with its process and its user, so that a person can act.
  EXPECT_NE(stderr_.find(name + " (process "), std::string::npos) << stderr_;
  EXPECT_NE(stderr_.find(", user root) could not be closed; the update was not applied."),
            std::string::npos)
      << stderr_;
  EXPECT_TRUE(platform::FileExists(Path("update.zip")));
  EXPECT_FALSE(platform::FileExists(Path("data.txt")));
  EXPECT_FALSE(platform::FileExists(work_.File("restart.txt")));  // not started again
}

TEST_F(UpdateRun, WithUpdatePubOnlyAnArchiveSignedWithThatKeyIsApplied) {
  if (std::system("command -v openssl > /dev/null") != 0) GTEST_SKIP() << "needs openssl";
  MakeKeyPair(work_.Path(), "publisher");
  MakeKeyPair(work_.Path(), "stranger");
  const std::string newPub = test::ReadFileBytes(work_.File("stranger.pub"));
  struct Case {
    const char* what;
    bool withKey;          // update.pub beside the updater
    const char* signedBy;  // the key that signed the archive; null: no signature
    bool otherArchive;     // the signature was made over another archive
    bool running;          // the main program runs when the updater starts
    bool applied;
  };
  const Case cases[] = {
      {"signed with the key", true, "publisher", false, true, true},
      {"another archive's signature", true, "publisher", true, true, false},
      {"signed with another key", true, "stranger", false, true, false},
      {"unsigned", true, nullptr, false, true, false},
      {"unsigned, the program had ended", true, nullptr, false, false, false},
      {"unsigned, without a key", false, nullptr, false, true, true},
  };
  const std::string name = test::UniqueName("signed-") + ".bin";
  AddProgram(name);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* file : {"update.pub", "update.zip.sig", "update.log", "data.txt",
                             "update.zip.refused", "update.zip.refused.sig"}) {
      (void)platform::RemoveFile(Path(file));
    }
    (void)platform::RemoveFile(work_.File("restart.txt"));
    test::WriteFileBytes(Path("data.txt"), "old");
    // A new key travels in the archive like any other file.
    WriteArchive({{"data.txt", "new"}, {"update.pub", newPub}});
    if (c.withKey) {
      test::WriteFileBytes(Path("update.pub"), test::ReadFileBytes(work_.File("publisher.pub")));
    }
    if (c.signedBy != nullptr) {
      const std::string signedFile = c.otherArchive ? work_.File("other.zip") : Path("update.zip");
      if (c.otherArchive) test::WriteFileBytes(signedFile, test::BuildZipOfFiles({{"x", "y"}}));
      Sign(work_.File(std::string(c.signedBy) + ".pem"), signedFile, Path("update.zip.sig"));
    }
    if (c.running && !Running(name)) {
      (void)platform::RemoveFile(work_.File("first.txt"));
      StartProgram(name);
    }
    if (!c.running) {
      ASSERT_TRUE(test::ChildProgramCopies::Kill(Path(name)));
    }
    test::WriteFileBytes(Path("uplog.txt"), name + "\n");

    EXPECT_EQ(RunUpdater(), c.applied ? 0 : 1) << stderr_;
    if (c.applied) {
      EXPECT_EQ(Restart(), "-start\n");
      EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "new");
      EXPECT_EQ(test::ReadFileBytes(Path("update.pub")), newPub);
      EXPECT_FALSE(platform::FileExists(Path("update.zip")));
      ExpectLogInOrder({"started; update.zip: ", "the update was applied", "started " + name});
      continue;
    }
    const std::string refusal = "The update was not applied: its signature could not be verified (";
    EXPECT_NE(stderr_.find(refusal), std::string::npos) << stderr_;
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
    // A signature that does not verify never will: the archive goes aside with its signature.
    EXPECT_FALSE(platform::FileExists(Path("update.zip")));
    EXPECT_TRUE(platform::FileExists(Path("update.zip.refused")));
    EXPECT_EQ(platform::FileExists(Path("update.zip.refused.sig")), c.signedBy != nullptr);
    EXPECT_EQ(test::ReadFileBytes(Path("update.pub")),
              test::ReadFileBytes(work_.File("publisher.pub")));
    if (c.running) {
      EXPECT_TRUE(Running(name));  // never closed
      EXPECT_FALSE(platform::FileExists(work_.File("restart.txt")));
      ExpectLogInOrder(
          {"started; update.zip: ", "main program: " + name, refusal, name + " was left running"});
    } else {
      EXPECT_EQ(Restart(), "-start\n");
      ExpectLogInOrder({"started; update.zip: ", refusal, "started " + name + " -start"});
    }
  }
}

// With update.pub beside it, nothing unverified is ever applied: every way the checks could fail
// to run, or be run on other bytes than those extracted, ends in a refusal that says why, with
// the program left running, the archive and the hand-over file kept, and a line in update.log.
TEST_F(UpdateRun, WithUpdatePubEveryCheckThatCannotRunRefusesTheUpdate) {
  if (std::system("command -v openssl > /dev/null && command -v python3 > /dev/null") != 0) {
    GTEST_SKIP() << "needs openssl and python3";
  }
  MakeKeyPair(work_.Path(), "publisher");
  const std::string name = test::UniqueName("closed-") + ".bin";
  AddProgram(name);
  const auto shell = [](const std::string& command) {
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  };
  const auto native = [&](const std::string& file) {
    return "'" + test::NativePath(Path(file)) + "'";
  };
  struct Case {
    const char* what;
    std::function<void()> arrange;   // after a signed archive, its signature and uplog.txt
    const char* refusal;             // a part of the refusal's text
    bool replaceAfterCheck = false;  // update.zip is replaced once the program has gone
  };
  const Case cases[] = {
      {"a hand-over file that is a socket",
       [&] {
         (void)platform::RemoveFile(Path("uplog.txt"));
         shell("python3 -c \"import socket; socket.socket(socket.AF_UNIX).bind('" +
               test::NativePath(Path("uplog.txt")) + "')\"");
       },
       "it could not be checked (uplog.txt is a special file"},
      {"a huge hand-over file", [&] { shell("truncate -s 2G " + native("uplog.txt")); },
       "it could not be checked (the hand-over file is too large"},
      {"update.pub a link that leads nowhere",
       [&] {
         (void)platform::RemoveFile(Path("update.pub"));
         shell("ln -s nowhere.pub " + native("update.pub"));
       },
       "the public key file update.pub is a link that leads nowhere"},
      {"update.pub a loop of links",
       [&] {
         (void)platform::RemoveFile(Path("update.pub"));
         shell("ln -s update.pub " + native("update.pub"));
       },
       "the public key file update.pub cannot be read: "},
      {"a signature that is a FIFO",
       [&] {
         (void)platform::RemoveFile(Path("update.zip.sig"));
         shell("mkfifo " + native("update.zip.sig"));
       },
       "update.zip.sig is a special file"},
      {"an archive that is a FIFO",
       [&] {
         (void)platform::RemoveFile(Path("update.zip"));
         shell("mkfifo " + native("update.zip"));
       },
       "update.zip is a special file"},
      {"an archive that is a link to a signed archive",
       [&] {
         shell("mv " + native("update.zip") + " " + native("real.zip") + " && ln -s real.zip " +
               native("update.zip"));
       },
       "update.zip is a link, not a regular file"},
      {"the last part of a split archive",
       [&] {
         // The end record says that the directory lies on this, the second, disk.
         std::string zip = test::ReadFileBytes(Path("update.zip"));
         zip[zip.size() - 18] = 1;
         zip[zip.size() - 16] = 1;
         test::WriteFileBytes(Path("update.zip"), zip);
         test::WriteFileBytes(Path("update.z01"), "the first part");
         Sign(work_.File("publisher.pem"), Path("update.zip"), Path("update.zip.sig"));
       },
       "signed updates are one file"},
      {"an archive replaced after the check", [] {}, "update.zip was replaced after it was checked",
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    shell("cd " + native("") +
          " && rm -rf update.pub update.zip update.zip.sig update.z01 real.zip update.zip.refused "
          "update.zip.refused.sig update.log uplog.txt data.txt .update-journal");
    (void)platform::RemoveFile(work_.File("restart.txt"));
    test::WriteFileBytes(Path("update.pub"), test::ReadFileBytes(work_.File("publisher.pub")));
    test::WriteFileBytes(Path("data.txt"), "old");
    WriteArchive({{"data.txt", "new"}});
    Sign(work_.File("publisher.pem"), Path("update.zip"), Path("update.zip.sig"));
    test::WriteFileBytes(Path("uplog.txt"), name + "\n");
    c.arrange();
    if (!Running(name)) {
      (void)platform::RemoveFile(work_.File("first.txt"));
      StartProgram(name);
    }
    if (c.replaceAfterCheck) {
      // Another, unsigned download takes the archive's name once the program has gone.
      const std::string pause = work_.File("paused");
      test::WriteFileBytes(work_.File("other.zip"), test::BuildZipOfFiles({{"data.txt", "evil"}}));
      std::thread replacer([&] {
        test::WaitFor([&] { return platform::FileExists(pause); });
        shell("mv " + std::string("'") + test::NativePath(work_.File("other.zip")) + "' " +
              native("update.zip"));
        (void)platform::RemoveFile(pause);
      });
      EXPECT_EQ(RunUpdater("", "UPDATE_PAUSE_AT='closed:" + test::NativePath(pause) + "'"), 1)
          << stderr_;
      replacer.join();
      // The program was closed for an update that did not happen: it starts again as it was.
      EXPECT_EQ(Restart(), "-start\n");
    } else {
      EXPECT_EQ(RunUpdater(), 1) << stderr_;
      EXPECT_TRUE(Running(name));
      EXPECT_FALSE(platform::FileExists(work_.File("restart.txt")));
      // A check that could not run keeps the hand-over file; one that refused has taken it.
      EXPECT_EQ(platform::LinkFreeKind(Path("uplog.txt")) != platform::PathKind::kMissing,
                std::string(c.refusal).find("could not be checked") != std::string::npos);
    }
    EXPECT_NE(stderr_.find(c.refusal), std::string::npos) << stderr_;
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
    // A check that could not run, a key of this machine that cannot be used, or a replacement,
    // may pass: the archive stays offered. One that the archive itself fails goes aside.
    const bool passing = std::string(c.refusal).find("could not be checked") != std::string::npos ||
                         std::string(c.refusal).find("update.pub") != std::string::npos ||
                         c.replaceAfterCheck;
    EXPECT_NE(platform::LinkFreeKind(Path(passing ? "update.zip" : "update.zip.refused")),
              platform::PathKind::kMissing);
    ExpectLogInOrder({"started; update.zip", c.refusal});
  }
}

// The program's name is used to close, replace and start a file: a path in uplog.txt is taken
// as its file name only when it leads into the program directory, and anything else is refused
// before anything is closed.
TEST_F(UpdateRun, TheHandOverNameNeverLeadsOutOfTheProgramDirectory) {
  const std::string name = test::UniqueName("named-") + ".bin";
  AddProgram(name);
  fs::create_directories(test::FsPath(work_.File("victim")));
  const std::string victim = work_.File("victim\\" + name);
  // The new program is a program too (it is started again), told apart by a byte at its end.
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram()) + "\n";
  struct Case {
    std::string named;  // what uplog.txt says
    bool applied;
  };
  const Case cases[] = {
      {test::NativePath(Path(name)), true}, {"./" + name, true},
      {"../program/" + name, true},         {"../victim/" + name, false},
      {test::NativePath(victim), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.named);
    (void)platform::RemoveFile(work_.File("restart.txt"));
    (void)platform::RemoveFile(Path("update.log"));
    test::WriteFileBytes(victim, "the victim's file");
    test::WriteFileBytes(Path("data.txt"), "old");
    WriteArchive({{"data.txt", "new"}, {"main.exe", newProgram}});
    test::WriteFileBytes(Path("uplog.txt"), c.named + "\n");
    if (!Running(name)) {
      (void)platform::RemoveFile(work_.File("first.txt"));
      StartProgram(name);
    }
    EXPECT_EQ(RunUpdater(), c.applied ? 0 : 1) << stderr_;
    EXPECT_EQ(test::ReadFileBytes(victim), "the victim's file");
    if (c.applied) {
      EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "new");
      EXPECT_EQ(test::ReadFileBytes(Path(name)), newProgram);
      continue;
    }
    const std::string refusal =
        "uplog.txt names " + c.named + ", which is not in the program directory";
    EXPECT_NE(stderr_.find(refusal), std::string::npos) << stderr_;
    EXPECT_TRUE(Running(name));
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
    EXPECT_TRUE(platform::FileExists(Path("update.zip")));
    ExpectLogInOrder({"started; update.zip", refusal});
  }
}

// A refusal decides whether to start the program again only at the end: a program that was still
// exiting when the updater started (as one that starts the updater and ends should) has ended by
// then and starts again; one that runs on is left running.
TEST_F(UpdateRun, AfterARefusalAProgramThatWasStillExitingStartsAgain) {
  if (std::system("command -v openssl > /dev/null") != 0) GTEST_SKIP() << "needs openssl";
  MakeKeyPair(work_.Path(), "publisher");
  const std::string name = test::UniqueName("exiting-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  test::WriteFileBytes(Path("update.pub"), test::ReadFileBytes(work_.File("publisher.pub")));
  WriteArchive({{"data.txt", "new"}});  // unsigned: refused
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  // The program ends once the updater has refused, while it gives a program still exiting its
  // moment.
  std::thread exiting([&] {
    test::WaitFor([&] {
      return platform::FileExists(Path("update.log")) &&
             test::ReadFileBytes(Path("update.log")).find("its signature could not be verified") !=
                 std::string::npos;
    });
    test::ChildProgramCopies::Kill(Path(name));
  });
  EXPECT_EQ(RunUpdater(), 1) << stderr_;
  exiting.join();
  EXPECT_EQ(Restart(), "-start\n");
  ExpectLogInOrder({"its signature could not be verified", "started " + name + " -start"});
}

// After this run's own failure the program directory stays as it was: a stale "main.exe" beside
// a program of another name is not moved over the program when it starts again.
TEST_F(UpdateRun, AFailedCommitBesideAStaleMainExeLeavesTheProgramAsItWas) {
  const std::string name = test::UniqueName("stale-") + ".bin";
  AddProgram(name);
  const std::string program = test::ReadFileBytes(Path(name));
  test::WriteFileBytes(Path("main.exe"), "a stale main.exe");
  test::WriteFileBytes(Path("data.txt"), "old");
  WriteArchive({{"data.txt", "new"}, {"more.txt", "more"}});
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  // The sixth rename is the commit's second move (after four journal writes and one move).
  EXPECT_EQ(RunUpdater("", "UPDATE_INJECT_FAULT=rename:6:locked"), 1) << stderr_;
  EXPECT_NE(stderr_.find("the program was left as it was"), std::string::npos) << stderr_;
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_EQ(test::ReadFileBytes(Path(name)), program);
  EXPECT_EQ(test::ReadFileBytes(Path("main.exe")), "a stale main.exe");
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
}

// One updater per program directory, whoever started it: a second one, under another guard (as
// another user's or another session's would be), ends at once and touches nothing.
TEST_F(UpdateRun, ASecondUpdaterInTheSameDirectoryUnderAnotherGuardEndsAtOnce) {
  const std::string name = test::UniqueName("locked-dir-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  test::WriteFileBytes(Path("data.txt"), "old");
  WriteArchive({{"data.txt", "new"}});
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  // This test's process stands in for the first updater: it holds the directory's lock.
  ASSERT_EQ(platform::AcquireDirectoryGuard(Path(".update-lock")),
            platform::DirectoryGuard::kTaken);
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_TRUE(Running(name));
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "old");
  EXPECT_TRUE(platform::FileExists(Path("update.zip")));
  EXPECT_TRUE(platform::FileExists(Path("uplog.txt")));
  EXPECT_FALSE(platform::FileExists(Path("update.log")));
}

// A directory link inside the program tree, on the way to a file of the update: nothing is
// written through it; the update is refused before anything is closed, and nothing changes on
// either side of the link.
TEST_F(UpdateRun, ALinkOnTheWayToAFileOfTheUpdateIsRefusedBeforeAnythingIsClosed) {
  const std::string name = test::UniqueName("linked-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  fs::create_directories(test::FsPath(work_.File("outside")));
  test::WriteFileBytes(work_.File("outside\\x.txt"), "outside");
  fs::create_directory_symlink("../outside", test::FsPath(Path("data")));
  WriteArchive({{"data/x.txt", "through the link"}, {"a.txt", "new"}});
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  EXPECT_EQ(RunUpdater(), 1) << stderr_;
  EXPECT_NE(stderr_.find("The update was not applied: data is a link; the updater does not write "
                         "through links."),
            std::string::npos)
      << stderr_;
  EXPECT_TRUE(Running(name));
  EXPECT_EQ(test::ReadFileBytes(work_.File("outside\\x.txt")), "outside");
  EXPECT_FALSE(platform::FileExists(Path("a.txt")));
  // The directory, not the archive, is at fault.
  EXPECT_TRUE(platform::FileExists(Path("update.zip")));
}

// The adopter's path, one row per way a program and its updater meet: what the program finds
// afterwards (its files, update.result, the exit status), and that a program on its way out is
// never killed.
TEST_F(UpdateRun, AProgramAndItsUpdaterUnderstandEachOther) {
  const std::string name = test::UniqueName("adopter-") + ".bin";
  AddProgram(name);
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram()) + "\n";
  const auto zipOf = [](const std::vector<std::pair<std::string, std::string>>& files) {
    return test::BuildZipOfFiles(files);
  };
  struct Case {
    const char* what;
    std::string uplog;    // the hand-over file's bytes
    std::string archive;  // update.zip's bytes; empty: none
    int status;
    const char* result;           // update.result's first line
    std::string data;             // data.txt afterwards
    const char* aside = nullptr;  // the archive set aside as update.zip.refused
  };
  const std::string utf16 = [&] {
    std::string text = "\xFF\xFE";
    for (const char c : name + "\r\n") text += std::string{c, '\0'};
    return text;
  }();
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const Case cases[] = {
      {"applied", name + "\n", zipOf({{"data.txt", "new"}}), 0, "result applied", "new"},
      {"the name in UTF-16, as PowerShell writes it", utf16, zipOf({{"data.txt", "new"}}), 0,
       "result applied", "new"},
      {"the name in other letters", upper + "\n", zipOf({{"data.txt", "new"}}), 0, "result applied",
       "new"},
      {"nothing to apply", name + "\n", "", 0, "result nothing", "old"},
      {"a 0-byte archive", name + "\n", std::string(), 1, "result not-applied", "old",
       "update.zip holds no files"},
      {"not a ZIP archive", name + "\n", "<html>not found</html>", 1, "result not-applied", "old",
       "update.zip holds no files"},
      {"a release folder zipped from outside", name + "\n",
       zipOf({{"myapp-2.0/" + name, newProgram}, {"myapp-2.0/data.txt", "new"}}), 1,
       "result not-applied", "old", "under myapp-2.0/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (const char* file : {"update.zip", "update.zip.refused", "update.result", "update.log"}) {
      (void)platform::RemoveFile(Path(file));
    }
    (void)platform::RemoveFile(work_.File("restart.txt"));
    test::WriteFileBytes(Path("data.txt"), "old");
    test::WriteFileBytes(Path("uplog.txt"), c.uplog);
    if (!c.archive.empty() || c.aside != nullptr) {
      test::WriteFileBytes(Path("update.zip"), c.archive);
    }
    // A copy that stays: one the last row started with -start may still be on its way out.
    ASSERT_TRUE(test::ChildProgramCopies::Kill(Path(name)));
    (void)platform::RemoveFile(work_.File("first.txt"));
    StartProgram(name);
    EXPECT_EQ(RunUpdater(), c.status) << stderr_;
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), c.data);
    EXPECT_EQ(test::ReadFileBytes(Path("update.result")).rfind(std::string(c.result) + "\n", 0), 0u)
        << test::ReadFileBytes(Path("update.result"));
    if (c.aside != nullptr) {
      // Refused before anything was closed; set aside, so that it is not offered again.
      EXPECT_TRUE(Running(name));
      EXPECT_FALSE(platform::FileExists(Path("update.zip")));
      EXPECT_TRUE(platform::FileExists(Path("update.zip.refused")));
      EXPECT_NE(stderr_.find(c.aside), std::string::npos) << stderr_;
      test::WriteFileBytes(Path("uplog.txt"), name + "\n");
      EXPECT_EQ(RunUpdater(), 0) << "a second run has nothing to apply: " << stderr_;
      EXPECT_EQ(test::ReadFileBytes(Path("update.result")).rfind("result nothing\n", 0), 0u);
    } else {
      EXPECT_EQ(Restart(), "-start\n");
    }
  }
}

// A program that saves its state after it started the updater is given the time to end by
// itself: it is never killed, and what it saved is there afterwards.
TEST_F(UpdateRun, AProgramThatEndsWithinItsGraceIsNeverKilled) {
  const std::string name = test::UniqueName("saving-") + ".bin";
  AddProgram(name);
  // It saves a second after the updater has removed the hand-over file, which the updater does
  // just before it looks whether the program runs and gives it three seconds to end: the moment
  // is counted from the updater's step, not from the program's start.
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  WriteArchive({{"data.txt", "new"}});
  const std::string command = "UPDATE_CHILD_SAVE_MS=1000 UPDATE_CHILD_SAVE_WHEN_GONE='" +
                              test::NativePath(Path("uplog.txt")) + "' UPDATE_CHILD_SAVE='" +
                              test::NativePath(work_.File("saved.txt")) + "' '" +
                              test::NativePath(Path(name)) + "' -save-and-exit &";
  ASSERT_EQ(std::system(command.c_str()), 0);
  ASSERT_TRUE(test::WaitFor([&] { return Running(name); }));
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(test::ReadFileBytes(work_.File("saved.txt")), "saved\n");
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "new");
  ExpectLogInOrder({name + " ended by itself", "the update was applied"});
}

// The updater may update itself: an archive that brings a new updater and a new program is
// applied, and the program is started again from its own directory, not from the backup.
TEST_F(UpdateRun, AnArchiveMayBringANewUpdaterAndANewProgram) {
  const std::string name = test::UniqueName("selfupdate-") + ".bin";
  AddProgram(name);
  const std::string newUpdater = test::ReadFileBytes(Path("update")) + "\n";
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram()) + "\n";
  WriteArchive({{"update", newUpdater}, {name, newProgram}});
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  EXPECT_EQ(RunUpdater(), 0) << stderr_;
  EXPECT_EQ(test::ReadFileBytes(Path("update")), newUpdater);
  EXPECT_EQ(test::ReadFileBytes(Path(name)), newProgram);
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_FALSE(platform::FileExists(Path(".update-backup\\update")));
}

// Asking the updater what it is never touches the program or its files.
TEST_F(UpdateRun, HelpAndVersionTouchNothing) {
  const std::string name = test::UniqueName("asked-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  WriteArchive({{"data.txt", "new"}});
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  for (const char* argument : {"--help", "--version"}) {
    const std::string command = "'" + test::NativePath(Path("update")) + "' " + argument + " > '" +
                                test::NativePath(work_.File("out.txt")) + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
    EXPECT_FALSE(test::ReadFileBytes(work_.File("out.txt")).empty());
  }
  EXPECT_TRUE(Running(name));
  EXPECT_TRUE(platform::FileExists(Path("update.zip")));
  EXPECT_TRUE(platform::FileExists(Path("uplog.txt")));
  EXPECT_FALSE(platform::FileExists(Path("data.txt")));
  EXPECT_FALSE(platform::FileExists(Path("update.log")));
}

TEST_F(UpdateRun, AProgramDirectoryThisUserCannotWriteIsRefusedBeforeAnythingIsClosed) {
  if (std::system("[ \"$(id -u)\" = 0 ] && command -v runuser > /dev/null") != 0) {
    GTEST_SKIP() << "needs root and runuser: root writes every directory, so the updater runs as "
                    "nobody in a directory that root owns";
  }
  const std::string name = test::UniqueName("locked-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  for (const std::string& dir : {work_.Path(), work_.File("runtime")}) {
    fs::permissions(test::FsPath(dir), fs::perms::all);
  }
  fs::permissions(test::FsPath(program_), fs::perms::owner_all | fs::perms::group_read |
                                              fs::perms::group_exec | fs::perms::others_read |
                                              fs::perms::others_exec);
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  WriteArchive({{"data.txt", "new"}});
  EXPECT_EQ(RunUpdater("nobody"), 1) << stderr_;
  EXPECT_NE(stderr_.find("The program directory " + test::NativePath(program_) +
                         " cannot be written by this user (Permission denied); the update was "
                         "not applied."),
            std::string::npos)
      << stderr_;
  EXPECT_TRUE(Running(name));
  EXPECT_TRUE(platform::FileExists(Path("update.zip")));
  EXPECT_FALSE(platform::FileExists(Path("data.txt")));
  EXPECT_FALSE(platform::FileExists(work_.File("restart.txt")));
}

TEST_F(UpdateRun, AnUpdateThatDoesNotFitOnTheVolumeIsRefusedBeforeAnythingIsClosed) {
  if (std::system("[ \"$(id -u)\" = 0 ]") != 0) {
    GTEST_SKIP() << "needs root, to mount a small tmpfs as the program directory";
  }
  // Room for the updater and the program (builds differ in size), and 3 MB more.
  const auto binaries = fs::file_size(UPDATE_UPDATER) + fs::file_size(UPDATE_CHILD_PROGRAM);
  const std::string size = std::to_string(binaries / 1024 + 3 * 1024) + "k";
  const std::string mountPoint = test::NativePath(program_);
  if (std::system(("mount -t tmpfs -o size=" + size + " tmpfs '" + mountPoint + "'").c_str()) !=
      0) {
    GTEST_SKIP() << "this machine does not let the test mount a tmpfs";
  }
  struct Unmount {
    std::string path;
    ~Unmount() { (void)std::system(("umount -l '" + path + "'").c_str()); }
  } unmount{mountPoint};
  fs::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
  const std::string name = test::UniqueName("full-") + ".bin";
  AddProgram(name);
  StartProgram(name);
  // 8 MB of zeros, deflated to a few KB: the archive fits, its content does not.
  const std::string zeros(8 * 1024 * 1024, '\0');
  test::ZipArchive archive;
  test::ZipEntry entry;
  entry.name = "big.bin";
  entry.method = 8;
  entry.data = test::RawDeflate(zeros);
  entry.uncompressedSize = static_cast<uint32_t>(zeros.size());
  entry.crc = static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(zeros.data()), static_cast<uInt>(zeros.size())));
  archive.entries = {entry};
  test::WriteFileBytes(Path("update.zip"), test::BuildZip(archive));
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");

  EXPECT_EQ(RunUpdater(), 1) << stderr_;
  EXPECT_NE(stderr_.find("The update needs 10 MB on the volume of " + mountPoint + ", but only "),
            std::string::npos)
      << stderr_;
  EXPECT_NE(stderr_.find(" MB are free; the update was not applied."), std::string::npos);
  EXPECT_TRUE(Running(name));
  EXPECT_TRUE(platform::FileExists(Path("update.zip")));
  EXPECT_FALSE(platform::FileExists(Path("big.bin")));
  EXPECT_FALSE(platform::FileExists(work_.File("restart.txt")));
  ExpectLogInOrder({"main program: " + name, "The update needs 10 MB", name + " was left running"});
  EXPECT_TRUE(test::ChildProgramCopies::Kill(Path(name)));  // before the volume goes
}

TEST_F(UpdateRun, AJournalNamesTheProgramOnlyWhileItsArchiveWaits) {
  struct Case {
    const char* what;
    bool archive;
    const char* started;
  };
  // The archive last: a main.exe beside a program of another name takes that name when it is
  // started.
  const Case cases[] = {{"no archive", false, "main.exe"},
                        {"the archive waits", true, "other.bin"}};
  AddProgram("main.exe");
  AddProgram("other.bin");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    (void)platform::RemoveFile(Path("update.log"));
    (void)platform::RemoveFile(work_.File("restart.txt"));
    // What a run that was killed before it changed anything leaves: the name, and no hand-over.
    TUpdateJournal journal;
    journal.MainExeName = "other.bin";
    ASSERT_TRUE(update_transaction::WriteJournal(program_ + "\\", journal));
    if (c.archive) WriteArchive({{"data.txt", "new"}});
    EXPECT_EQ(RunUpdater(), 0) << stderr_;
    EXPECT_EQ(Restart(), "-start\n");
    ExpectLogInOrder({std::string("main program: ") + c.started,
                      std::string("started ") + c.started + " -start"});
  }
}

// The program directory's content, our own names and the updater's files left out.
std::map<std::string, std::string> Tree(const std::string& dir) {
  std::map<std::string, std::string> tree;
  for (const std::string& path : platform::ListDirectoryTree(dir)) {
    if (path.rfind(".update-", 0) == 0 || path == "update" || path == "update.zip" ||
        path == "uplog.txt" || path == "update.log" || path == "update.result") {
      continue;
    }
    tree[path] = path.back() == '\\' ? "" : test::ReadFileBytes(dir + "\\" + path);
  }
  return tree;
}

TEST_F(UpdateRun, KilledAtAnyStepTheDirectoryIsWhollyOldOrNewAndTheNextRunFinishes) {
  const std::string program = test::ReadFileBytes(test::ChildProgram());
  const std::string newProgram = program + "new build";  // still runs: the end is not read
  const std::map<std::string, std::string> oldTree = {{"a.txt", "old a"},
                                                      {"keep.txt", "kept"},
                                                      {"sub\\", ""},
                                                      {"sub\\b.txt", "old b"},
                                                      {"demo.bin", program}};
  const std::map<std::string, std::string> newTree = {
      {"a.txt", "new a"},      {"keep.txt", "kept"},    {"sub\\", ""},
      {"sub\\b.txt", "new b"}, {"sub\\c.txt", "new c"}, {"newdir\\", ""},
      {"newdir\\d.txt", "d"},  {"empty\\", ""},         {"demo.bin", newProgram}};
  const std::string zip = test::BuildZipOfFiles({{"a.txt", "new a"},
                                                 {"sub/b.txt", "new b"},
                                                 {"sub/c.txt", "new c"},
                                                 {"newdir/d.txt", "d"},
                                                 {"empty/", ""},
                                                 {"main.exe", newProgram}});
  int finished = 0;
  for (int step = 1; finished < 2; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    platform::RemoveDirectoryTree(program_);
    fs::create_directories(test::FsPath(program_ + "\\sub"));
    fs::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
    for (const auto& [name, data] : oldTree) {
      if (name.back() != '\\') test::WriteFileBytes(Path(name), data);
    }
    fs::permissions(test::FsPath(Path("demo.bin")), fs::perms::owner_all, fs::perm_options::add);
    test::WriteFileBytes(Path("update.zip"), zip);
    test::WriteFileBytes(Path("uplog.txt"), "demo.bin\n");
    (void)platform::RemoveFile(work_.File("restart.txt"));

    const int status = RunUpdater("", "UPDATE_KILL_AT_STEP=" + std::to_string(step));
    if (status != 137) ++finished;  // the run has fewer steps than this: it went through
    // Wholly old or new; in between only while the journal says the commit is under way, which
    // the next start finishes before anything else.
    const auto tree = Tree(program_);
    TUpdateJournal journal;
    const bool committing = update_transaction::ReadJournal(program_ + "\\", &journal) ==
                                update_transaction::TJournalRead::kRead &&
                            journal.State == TUpdateJournal::jsCommitting;
    EXPECT_TRUE(tree == oldTree || tree == newTree || committing) << stderr_;
    // One more run, without a kill, ends with the new tree and the program started. A killed
    // run's journal still names the program; after a whole run the program hands over anew.
    if (status != 137) test::WriteFileBytes(Path("uplog.txt"), "demo.bin\n");
    (void)platform::RemoveFile(work_.File("restart.txt"));
    EXPECT_EQ(RunUpdater(), 0) << stderr_;
    EXPECT_EQ(Tree(program_), newTree);
    EXPECT_FALSE(platform::FileExists(Path("update.zip")));
    EXPECT_EQ(Restart(), "-start\n");
    if (::testing::Test::HasFailure()) break;
  }
}

}  // namespace

// A publisher's package of the changes from one release to the next, made by update-pack: over
// its base it turns the program directory into the new release exactly, removed files and the
// directories they emptied gone, wherever a run is killed; over another release it is refused
// before anything is closed.
TEST_F(UpdateRun, APackageOfChangesTurnsItsBaseIntoTheNewReleaseWhereverARunIsKilled) {
  const std::string program = test::ReadFileBytes(test::ChildProgram());
  std::map<std::string, std::string> oldTree = {{"demo.bin", program},
                                                {"a.txt", "old a"},
                                                {"keep.txt", "kept"},
                                                {"gone.txt", "removed"},
                                                {"plugins\\", ""},
                                                {"plugins\\old.dll", "old"},
                                                {"plugins\\sub\\", ""},
                                                {"plugins\\sub\\x.dat", "x"},
                                                {"lib\\", ""},
                                                {"lib\\gone.dll", "removed"},
                                                {"lib\\kept.dll", "kept"}};
  // "plugins" stays, empty: the removals empty it, and the new release holds it so.
  const std::map<std::string, std::string> newTree = {
      {"demo.bin", program},     {"a.txt", "new a"}, {"keep.txt", "kept"}, {"lib\\", ""},
      {"lib\\kept.dll", "kept"}, {"sub\\", ""},      {"sub\\c.txt", "c"},  {"plugins\\", ""}};
  test::WriteTree(work_.File("release-1.0"), oldTree);
  test::WriteFileBytes(work_.File("release-1.0\\.update-release"),
                       "update-release 1\nproduct demo\nversion 1.0\n");
  test::WriteTree(work_.File("release-1.1"), newTree);
  const std::string zip = work_.File("changes.zip");
  const std::string pack =
      "'" + test::NativePath(UPDATE_PACK) + "' make --product demo --version 1.1 --from '" +
      test::NativePath(work_.File("release-1.0")) + "' -o '" + test::NativePath(zip) + "' '" +
      test::NativePath(work_.File("release-1.1")) + "' > /dev/null";
  ASSERT_EQ(std::system(pack.c_str()), 0);
  const std::string archive = test::ReadFileBytes(zip);

  // Over the release it changes, killed at every step; one more run finishes.
  int finished = 0;
  for (int step = 1; finished < 2; ++step) {
    SCOPED_TRACE("killed at step " + std::to_string(step));
    platform::RemoveDirectoryTree(program_);
    test::WriteTree(program_, oldTree);
    fs::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
    fs::copy_file(test::FsPath(work_.File("release-1.0\\.update-release")),
                  test::FsPath(Path(".update-release")));
    fs::permissions(test::FsPath(Path("demo.bin")), fs::perms::owner_all, fs::perm_options::add);
    test::WriteFileBytes(Path("update.zip"), archive);
    test::WriteFileBytes(Path("uplog.txt"), "demo.bin\n");
    (void)platform::RemoveFile(work_.File("restart.txt"));
    const int status = RunUpdater("", "UPDATE_KILL_AT_STEP=" + std::to_string(step));
    if (status != 137) ++finished;
    TUpdateJournal journal;
    const bool committing = update_transaction::ReadJournal(program_ + "\\", &journal) ==
                                update_transaction::TJournalRead::kRead &&
                            journal.State == TUpdateJournal::jsCommitting;
    const auto tree = Tree(program_);
    EXPECT_TRUE(tree == oldTree || tree == newTree || committing) << stderr_;
    if (status != 137) test::WriteFileBytes(Path("uplog.txt"), "demo.bin\n");
    (void)platform::RemoveFile(work_.File("restart.txt"));
    EXPECT_EQ(RunUpdater(), 0) << stderr_;
    EXPECT_EQ(Tree(program_), newTree);
    EXPECT_NE(test::ReadFileBytes(Path(".update-release")).find("version 1.1\n"),
              std::string::npos);
    EXPECT_EQ(Restart(), "-start\n");
    if (::testing::Test::HasFailure()) break;
  }
  ExpectLogInOrder({"update.zip holds demo 1.1 (the changes from 1.0), removing 4 files",
                    "replaced or added 3 files, removed 4"});

  // Over another release: refused before anything is closed, the program left running, the
  // package set aside.
  const std::string name = test::UniqueName("other-release-") + ".bin";
  platform::RemoveDirectoryTree(program_);
  test::WriteTree(program_, oldTree);
  fs::copy_file(UPDATE_UPDATER, test::FsPath(Path("update")));
  AddProgram(name);
  StartProgram(name);
  test::WriteFileBytes(Path(".update-release"), "update-release 1\nproduct demo\nversion 0.9\n");
  test::WriteFileBytes(Path("update.zip"), archive);
  test::WriteFileBytes(Path("uplog.txt"), name + "\n");
  EXPECT_EQ(RunUpdater(), 1) << stderr_;
  EXPECT_NE(stderr_.find("The update was not applied: update.zip updates version 1.0; version "
                         "0.9 is installed (a full package is needed)."),
            std::string::npos)
      << stderr_;
  EXPECT_TRUE(Running(name));
  std::map<std::string, std::string> unchanged = oldTree;
  unchanged[name] = program;
  unchanged["update.zip.refused"] = archive;
  EXPECT_EQ(Tree(program_), unchanged);
  EXPECT_EQ(test::ReadFileBytes(Path("update.zip.refused")), archive);
}
