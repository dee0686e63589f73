// End-to-end tests of update.exe under Windows (Wine): the real updater is started with
// CreateProcessW in a temporary program directory, beside a copy of the test's child program
// standing in for the main program; the files, the exit code, the arguments the program was
// started again with, the error box and the foreground window are checked.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "app/windows/child_process.h"
#include "app/windows/own_window.h"
#include "app/windows/process_windows.h"
#include "app/windows/update_exe_fixture.h"
#include "app/windows/wide_text.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "support/child_processes.h"
#include "support/file_holder.h"
#include "support/temp_dir.h"
#include "support/zip_writer.h"

namespace {

namespace fs = std::filesystem;

using test::ChildProcess;

constexpr char kApplicationTitle[] = "软件升级器";

class UpdateExe : public test::UpdateExeFixture {};

// ---- A whole update, in program directories of several kinds of name -----------------------

TEST_F(UpdateExe, ClosesTheProgramAppliesTheUpdateAndStartsTheProgramAgain) {
  // The main program is started again by its full path: blanks in it must not split it.
  const char* const directories[] = {"plain", "my program dir", "升级 程序"};
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram());
  for (const char* directory : directories) {
    SCOPED_TRACE(directory);
    UseProgramDirectory(directory);
    fs::remove(test::FsPath(work_.File("restart.txt")));
    const std::string name = test::UniqueName("prog-") + ".exe";
    AddProgram(name);
    ChildProcess running;
    StartProgram(name, running);
    test::WriteFileBytes(Path("uplog.txt"), "  " + name + "  \r\nanother line\r\n");
    test::WriteFileBytes(Path("MainRun._tmp"), "");
    test::WriteFileBytes(Path("data.txt"), "old");
    test::WriteFileBytes(Path("update.zip.ini"), "companion");
    // The new executable arrives as main.exe and takes the program's name.
    WriteArchive({{"data.txt", "new"}, {"sub/more.txt", "more"}, {"main.exe", newProgram}});

    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_FALSE(running.Running()) << "the main program was not closed";
    EXPECT_EQ(Restart(), "-start\n");  // one argument, whole
    EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "new");
    EXPECT_EQ(test::ReadFileBytes(Path("sub\\more.txt")), "more");
    EXPECT_FALSE(fs::exists(test::FsPath(Path("main.exe"))));
    EXPECT_TRUE(fs::exists(test::FsPath(Path(name))));
    for (const char* gone : {"uplog.txt", "MainRun._tmp", "update.zip", "update.zip.ini"}) {
      EXPECT_FALSE(fs::exists(test::FsPath(Path(gone)))) << gone;
    }
    // update.log tells the run, line by line.
    const std::string log = test::ReadFileBytes(Path("update.log"));
    size_t at = 0;
    for (const std::string& part :
         {std::string(" update 1.1.0.0 started; update.zip: "), " main program: " + name,
          " closed " + name, std::string(" the update was applied\n"),
          " started " + name + " -start\n"}) {
      at = log.find(part, at);
      ASSERT_NE(at, std::string::npos) << part << " missing or out of order in\n" << log;
    }
  }
}

// The delivered program is found by the file system's own rule of names: "MAIN.EXE" and
// "Main.exe" are "main.exe" on Windows, and take the program's name like it.
TEST_F(UpdateExe, ADeliveredMainExeInAnyLetterCaseBecomesTheProgram) {
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram()) + "new";
  for (const char* delivered : {"MAIN.EXE", "Main.exe"}) {
    SCOPED_TRACE(delivered);
    fs::remove(test::FsPath(work_.File("restart.txt")));
    const std::string name = test::UniqueName("case-") + ".exe";
    AddProgram(name);
    test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
    WriteArchive({{delivered, newProgram}});
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_EQ(test::ReadFileBytes(Path(name)), newProgram);
    EXPECT_FALSE(fs::exists(test::FsPath(Path("main.exe"))));
    EXPECT_NE(test::ReadFileBytes(Path("update.log")).find(" the update was applied\n"),
              std::string::npos);
  }
}

// A file of the program that another program holds open without delete sharing (a scanner, a
// helper of the program): held from before, the update is refused before anything is closed,
// naming the file; let go while the commit waits for it (the wait is in update.log), the commit
// goes on; held for good, the commit rolls back and names it.
TEST_F(UpdateExe, AFileInUseByAnotherProgramIsWaitedForOrNamed) {
  struct Case {
    const char* what;
    bool before;  // held from before the updater starts, else from when the program has gone
    bool letGo;   // let go once the updater waits for it
    bool applied;
    const char* says;  // a part of the box's text, or of update.log when applied
  };
  const Case cases[] = {
      {"held before the update", true, false, false, "data\\engine.dll is in use by "},
      {"let go while the commit waits", false, true, true, "Waiting for data\\engine.dll"},
      {"held for good during the commit", false, false, false, "data\\engine.dll is in use by "},
  };
  const std::string name = test::UniqueName("held-by-") + ".exe";
  AddProgram(name);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::create_directories(test::FsPath(Path("data")));
    test::WriteFileBytes(Path("data\\engine.dll"), "old engine");
    test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
    WriteArchive({{"data/engine.dll", "new engine"}, {"readme.txt", "new"}});
    fs::remove(test::FsPath(Path("update.log")));
    test::FileHolderProcess holder;
    if (c.before) {
      ASSERT_TRUE(holder.Start(work_.File("scanner-a.exe"), Path("data\\engine.dll")));
    }
    const std::string pause = work_.File("paused");
    ChildProcess updater;
    ASSERT_TRUE(updater.Start(Path("update.exe"), "",
                              {{"UPDATE_CHILD_RECORD", work_.File("restart.txt")},
                               {"UPDATE_PAUSE_AT", "closed:" + pause}}));
    std::string text;
    bool holding = c.before;
    const auto code = updater.WaitForExit([&] {
      if (!c.before && fs::exists(test::FsPath(pause))) {
        ASSERT_TRUE(holder.Start(work_.File(c.letGo ? "scanner-b.exe" : "scanner-c.exe"),
                                 Path("data\\engine.dll")));
        holding = true;
        fs::remove(test::FsPath(pause));
      }
      // Read as it is being written, and not at all while the updater makes it: no failure then.
      std::ifstream log(test::FsPath(Path("update.log")), std::ios::binary);
      const std::string logged((std::istreambuf_iterator<char>(log)), {});
      if (c.letGo && holding && logged.find("Waiting for data\\engine.dll") != std::string::npos) {
        ASSERT_TRUE(holder.Stop());
        holding = false;
      }
      if (const HWND box = test::FindMessageBoxOf(updater.Id())) {
        text = test::MessageBoxText(box);
        if (!text.empty()) (void)test::PressOk(box);
      }
    });
    ASSERT_TRUE(code.has_value());
    EXPECT_EQ(*code, c.applied ? 0u : 1u) << text;
    const std::string log = test::ReadFileBytes(Path("update.log"));
    EXPECT_NE((c.applied ? log : text).find(c.says), std::string::npos) << text << "\n" << log;
    EXPECT_EQ(test::ReadFileBytes(Path("data\\engine.dll")),
              c.applied ? "new engine" : "old engine");
    // A passing reason: the archive stays for a later try.
    EXPECT_EQ(fs::exists(test::FsPath(Path("update.zip"))), !c.applied);
    if (!c.applied) {
      EXPECT_NE(log.find("data\\engine.dll is in use by "), std::string::npos) << log;
    }
  }
}

// The updater may update itself: an archive that brings a new update.exe and a new program is
// applied, and the program starts again from its own directory. The running updater's old copy,
// which Windows does not let go while it runs, is gone after the next run.
TEST_F(UpdateExe, AnArchiveMayBringANewUpdaterAndANewProgram) {
  const std::string name = test::UniqueName("self-") + ".exe";
  AddProgram(name);
  const std::string newUpdater = test::ReadFileBytes(Path("update.exe")) + "new";
  const std::string newProgram = test::ReadFileBytes(test::ChildProgram()) + "new";
  test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
  WriteArchive({{"update.exe", newUpdater}, {name, newProgram}});
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_EQ(test::ReadFileBytes(Path("update.exe")), newUpdater);
  EXPECT_EQ(test::ReadFileBytes(Path(name)), newProgram);
  fs::remove(test::FsPath(work_.File("restart.txt")));
  test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
  EXPECT_EQ(RunUpdater(), 0);  // the new updater, with nothing to apply
  EXPECT_FALSE(fs::exists(test::FsPath(Path(".update-backup"))));
}

// ---- The other paths through the sequence ---------------------------------------------------

TEST_F(UpdateExe, WithoutAnArchiveTheProgramIsOnlyRestarted) {
  AddProgram("main.exe");
  ChildProcess running;
  StartProgram("main.exe", running);
  test::WriteFileBytes(Path("uplog.txt"), "   \nignored.exe\n");  // a blank first line
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_FALSE(running.Running()) << "the main program was not closed";
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_FALSE(fs::exists(test::FsPath(Path("uplog.txt"))));
}

TEST_F(UpdateExe, AnArchiveThatCannotBeAppliedWholeIsSetAsideOnceTheUserAnswersTheBox) {
  struct Case {
    const char* what;
    std::string archive;
    const char* mentions;  // what the box's text names
  };
  test::ZipArchive unsafe;
  test::ZipEntry escape;
  escape.name = "../outside.txt";
  escape.data = "x";
  test::ZipEntry fine;
  fine.name = "data.txt";
  fine.data = "new";
  unsafe.entries = {fine, escape};
  const Case cases[] = {{"not an archive", std::string(3000, 'x'), ""},
                        {"an entry outside the directory", test::BuildZip(unsafe), "outside.txt"}};
  AddProgram("main.exe");
  test::WriteFileBytes(Path("data.txt"), "old");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove(test::FsPath(work_.File("restart.txt")));
    test::WriteFileBytes(Path("update.zip"), c.archive);
    const auto before = Tree();

    ChildProcess updater;
    StartUpdater(updater);
    HWND box = nullptr;
    ASSERT_TRUE(test::WaitFor([&] {
      box = test::FindMessageBoxOf(updater.Id());
      return box != nullptr || !updater.Running();
    }));
    ASSERT_NE(box, nullptr) << "no error box came up";
    EXPECT_EQ(test::WindowTextOf(box), kApplicationTitle);
    const std::string text = test::MessageBoxText(box);
    EXPECT_FALSE(text.empty());
    EXPECT_NE(text.find(c.mentions), std::string::npos) << text;
    EXPECT_TRUE(updater.Running()) << "the updater must wait for the answer";
    ASSERT_TRUE(test::PressOk(box));
    const auto code = updater.WaitForExit();
    ASSERT_TRUE(code.has_value()) << "the updater did not end after the answer";
    EXPECT_EQ(*code, 1u);

    // Nothing of the program touched; the archive, which can never be applied as it is, set
    // aside so that it is not offered again.
    auto expected = before;
    expected["update.zip.refused"] = expected["update.zip"];
    expected.erase("update.zip");
    EXPECT_EQ(Tree(), expected);
    EXPECT_EQ(Restart(), "-start\n");
  }
  EXPECT_FALSE(fs::exists(test::FsPath(work_.File("outside.txt"))));
}

// Updates with "update.pub" beside the updater: the publisher's key and signatures that the
// openssl command made.
class UpdateExeSigned : public UpdateExe {
 protected:
  // Starts a program that has "data.txt" holding "old" beside it, names it in the hand-over file
  // and lays the publisher's public key beside the updater.
  void StartProgramWithKey(ChildProcess& running) {
    const std::string name = test::UniqueName("signed-") + ".exe";
    AddProgram(name);
    StartProgram(name, running);
    test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
    test::WriteFileBytes(Path("data.txt"), "old");
    CopyFixture("ec.pub", "update.pub");
  }
  // Waits for the updater's error box and its text.
  void WaitForErrorBox(const ChildProcess& updater, HWND& box, std::string& text) {
    // The box may be found before its text is in it.
    ASSERT_TRUE(test::WaitFor([&] {
      box = test::FindMessageBoxOf(updater.Id());
      text = box != nullptr ? test::MessageBoxText(box) : "";
      return !text.empty() || !updater.Running();
    }));
    ASSERT_NE(box, nullptr) << "no error box came up";
  }
  // Copies a file of the signature fixtures into the program directory as `as`.
  void CopyFixture(const std::string& fixture, const std::string& as) {
    test::WriteFileBytes(
        Path(as), test::ReadFileBytes(test::HostPath(UPDATE_SIGNATURE_FIXTURES) + "\\" + fixture));
  }
};

TEST_F(UpdateExeSigned, AnArchiveWhoseSignatureDoesNotMatchIsRefusedAndNothingIsClosed) {
  ChildProcess running;
  StartProgramWithKey(running);
  WriteArchive({{"data.txt", "new"}});
  // A signature by the right key, over another file.
  CopyFixture("archive.zip.sig", "update.zip.sig");
  // The hand-over file goes: the journal keeps the name while the archive waits. The archive
  // and its signature go aside: a signature that does not match never will.
  auto before = Tree();
  before.erase("uplog.txt");
  before["update.zip.refused"] = before["update.zip"];
  before["update.zip.refused.sig"] = before["update.zip.sig"];
  before.erase("update.zip");
  before.erase("update.zip.sig");

  ChildProcess updater;
  StartUpdater(updater);
  HWND box = nullptr;
  std::string text;
  ASSERT_NO_FATAL_FAILURE(WaitForErrorBox(updater, box, text));
  EXPECT_EQ(text,
            "The update was not applied: its signature could not be verified (the signature in "
            "update.zip.sig does not match update.zip under the key in update.pub).");
  ASSERT_TRUE(test::PressOk(box));
  const auto code = updater.WaitForExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1u);
  EXPECT_TRUE(running.Running()) << "the program was closed for an update that was refused";
  EXPECT_EQ(Tree(), before);
  EXPECT_FALSE(fs::exists(test::FsPath(work_.File("restart.txt"))));
  EXPECT_NE(test::ReadFileBytes(Path("update.log")).find(" was left running\n"), std::string::npos);
}

TEST_F(UpdateExeSigned, AWellSignedArchiveIsApplied) {
  ChildProcess running;
  StartProgramWithKey(running);
  // An archive and its signature as openssl made them.
  CopyFixture("signed_update.zip", "update.zip");
  CopyFixture("signed_update.zip.sig", "update.zip.sig");

  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_FALSE(running.Running()) << "the main program was not closed";
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "signed\n");
  EXPECT_FALSE(fs::exists(test::FsPath(Path("update.zip"))));
  EXPECT_NE(test::ReadFileBytes(Path("update.log")).find(" the update was applied\n"),
            std::string::npos);
}

// The checks fail closed: a hand-over file that another program holds open for writing is a
// check that could not run. The update is refused with the reason, nothing is closed, and the
// archive and the hand-over file stay.
TEST_F(UpdateExeSigned, AHandOverFileHeldOpenForWritingRefusesTheUpdate) {
  ChildProcess running;
  StartProgramWithKey(running);
  CopyFixture("signed_update.zip", "update.zip");
  CopyFixture("signed_update.zip.sig", "update.zip.sig");
  const auto before = Tree();
  platform::File held =
      platform::File::Open(Path("uplog.txt"), platform::kOpenWrite | platform::kShareExclusive);
  ASSERT_TRUE(held.IsOpen());

  ChildProcess updater;
  StartUpdater(updater);
  HWND box = nullptr;
  std::string text;
  ASSERT_NO_FATAL_FAILURE(WaitForErrorBox(updater, box, text));
  EXPECT_EQ(text.rfind("The update was not applied: it could not be checked (", 0), 0u) << text;
  ASSERT_TRUE(test::PressOk(box));
  const auto code = updater.WaitForExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 1u);
  held.Close();
  EXPECT_TRUE(running.Running()) << "the program was closed for an update that was not checked";
  EXPECT_EQ(Tree(), before);
  EXPECT_NE(test::ReadFileBytes(Path("update.log")).find("it could not be checked"),
            std::string::npos);
}

// From the first check to the end of the extraction the updater holds update.zip so that nobody
// can replace, write or delete it: what was verified is what is applied.
TEST_F(UpdateExeSigned, TheCheckedArchiveCannotBeReplacedBeforeItIsApplied) {
  ChildProcess running;
  StartProgramWithKey(running);
  CopyFixture("signed_update.zip", "update.zip");
  CopyFixture("signed_update.zip.sig", "update.zip.sig");
  test::WriteFileBytes(work_.File("other.zip"), test::BuildZipOfFiles({{"data.txt", "evil"}}));
  const std::string pause = work_.File("paused");

  ChildProcess updater;
  ASSERT_TRUE(updater.Start(Path("update.exe"), "",
                            {{"UPDATE_CHILD_RECORD", work_.File("restart.txt")},
                             {"UPDATE_PAUSE_AT", "closed:" + pause}}));
  ASSERT_TRUE(test::WaitFor([&] { return fs::exists(test::FsPath(pause)); }));
  EXPECT_FALSE(platform::ReplaceFileAtomically(work_.File("other.zip"), Path("update.zip")));
  EXPECT_FALSE(platform::File::Open(Path("update.zip"), platform::kOpenWrite).IsOpen());
  EXPECT_FALSE(platform::RemoveFile(Path("update.zip")));
  fs::remove(test::FsPath(pause));
  const auto code = updater.WaitForExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "signed\n");
  EXPECT_FALSE(fs::exists(test::FsPath(Path("update.zip"))));
  EXPECT_FALSE(fs::exists(test::FsPath(Path("update.zip.sig"))));
}

// While a first copy is held up by its error box, a second copy ends at once with 0, touches
// nothing (not the hand-over file, not the archive, not the running program) and brings the
// first copy's window to the front.
TEST_F(UpdateExe, ASecondCopyEndsAtOnceAndBringsTheFirstCopysWindowToTheFront) {
  const std::string name = test::UniqueName("held-") + ".exe";
  AddProgram(name);
  test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
  test::WriteFileBytes(Path("update.zip"), "not an archive");
  ChildProcess first;
  StartUpdater(first);
  ASSERT_TRUE(test::WaitFor(
      [&] { return test::FindMessageBoxOf(first.Id()) != nullptr || !first.Running(); }));
  ASSERT_TRUE(first.Running()) << "the first copy ended instead of showing its error box";
  const HWND firstWindow = test::FindWindowOf(first.Id(), "TForm1");
  ASSERT_NE(firstWindow, nullptr);

  // What a second copy would work on, had it run the update.
  test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
  ChildProcess running;
  StartProgram(name, running);
  const auto before = Tree();
  // The foreground is somewhere else when the second copy starts.
  test::OwnWindow elsewhere;
  ASSERT_TRUE(elsewhere.TakeForeground());

  ChildProcess second;
  StartUpdater(second);
  const auto code = second.WaitForExit(test::PumpOwnMessages);
  ASSERT_TRUE(code.has_value()) << "the second copy did not end";
  EXPECT_EQ(*code, 0u);
  test::PumpOwnMessages();
  const HWND foreground = GetForegroundWindow();
  EXPECT_EQ(foreground, firstWindow);
  EXPECT_EQ(test::ClassNameOf(foreground), "TForm1");
  EXPECT_EQ(test::ProcessIdOf(foreground), first.Id());

  EXPECT_TRUE(running.Running()) << "the second copy closed the program";
  EXPECT_EQ(Tree(), before);
  EXPECT_FALSE(fs::exists(test::FsPath(work_.File("restart.txt"))));
  EXPECT_TRUE(first.Running());

  // The first copy goes on as before once its box is answered: the program, which has ended by
  // then, starts again.
  ASSERT_TRUE(running.Terminate());
  const HWND box = test::FindMessageBoxOf(first.Id());
  ASSERT_NE(box, nullptr);
  ASSERT_TRUE(test::PressOk(box));
  const auto firstCode = first.WaitForExit();
  ASSERT_TRUE(firstCode.has_value());
  EXPECT_EQ(*firstCode, 1u);
  EXPECT_EQ(Restart(), "-start\n");
}

// ---- The hand-over file of a program written for the ANSI code page -------------------------

// A main program written for the system's ANSI code page writes its name in it (GBK on a
// Chinese system); the updater still closes, updates and restarts it. The updater runs in the
// test's locale: with LANG=zh_CN.UTF-8, Wine's ANSI code page is 936 and the name is Chinese.
TEST_F(UpdateExe, AHandOverNameInTheAnsiCodePageFindsTheProgram) {
  const UINT codePage = GetACP();
  const std::string name =
      test::UniqueName(codePage == 936 ? "升级程序-" : "pr\xC3\xB6g-") + ".exe";
  const std::wstring wide = test::Wide(name);
  std::string ansi(wide.size() * 2, '\0');
  BOOL usedDefault = FALSE;
  ansi.resize(static_cast<size_t>(WideCharToMultiByte(
      codePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), ansi.data(),
      static_cast<int>(ansi.size()), nullptr, &usedDefault)));
  if (ansi.empty() || usedDefault) {
    GTEST_SKIP() << "the ANSI code page " << codePage << " cannot hold " << name;
  }
  ASSERT_NE(ansi, name) << "the name must not be valid UTF-8 in the code page";
  AddProgram(name);
  ChildProcess running;
  StartProgram(name, running);
  test::WriteFileBytes(Path("uplog.txt"), ansi + "\r\n");
  test::WriteFileBytes(Path("data.txt"), "old");
  WriteArchive({{"data.txt", "new"}});

  ChildProcess updater;
  StartUpdater(updater);
  const auto code = updater.WaitForExit();
  ASSERT_TRUE(code.has_value()) << "the updater did not end";
  EXPECT_EQ(*code, 0u);
  EXPECT_FALSE(running.Running()) << "the main program was not closed";
  EXPECT_EQ(test::ReadFileBytes(Path("data.txt")), "new");
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_TRUE(fs::exists(test::FsPath(Path(name))));
  EXPECT_FALSE(fs::exists(test::FsPath(Path("uplog.txt"))));
}

// A hand-over name without an extension is started as Windows' own start finds it: with ".exe".
TEST_F(UpdateExe, AHandOverNameWithoutAnExtensionStartsTheExeOfThatName) {
  const std::string name = test::UniqueName("plain-");
  AddProgram(name + ".exe");
  test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_EQ(Restart(), "-start\n");
}

}  // namespace
