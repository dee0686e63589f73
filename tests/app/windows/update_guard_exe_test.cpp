// End-to-end tests of update.exe under Windows (Wine) for who may run an update where and how
// the main program is closed: the directory's lock against a reader, the updaters of two
// programs at the same moment, the program asked to close with WM_CLOSE before it is
// terminated, and a file that another program holds while the program runs.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "app/windows/child_process.h"
#include "app/windows/process_windows.h"
#include "app/windows/update_exe_fixture.h"
#include "app/windows/wide_text.h"
#include "platform/processes.h"
#include "support/child_processes.h"
#include "support/child_program_copies.h"
#include "support/file_holder.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

using test::ChildProcess;

class UpdateExeGuard : public test::UpdateExeFixture {
 protected:
  ~UpdateExeGuard() override {
    for (const std::string& path : windowPrograms_) (void)test::ChildProgramCopies::Kill(path);
  }

  // Lays out an update of "data.txt" for the program `name`, which is not running.
  void LayUpdate(const std::string& name) {
    test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
    test::WriteFileBytes(Path("data.txt"), "old");
    WriteArchive({{"data.txt", "new"}});
  }

  // Runs the updater to its end, answering its error box; the exit code (-1: it did not end)
  // and the box's text.
  int RunAnswering(std::string* text,
                   const std::vector<std::pair<std::string, std::string>>& environment = {}) {
    ChildProcess updater;
    std::vector<std::pair<std::string, std::string>> settings = {
        {"UPDATE_CHILD_RECORD", work_.File("restart.txt")}};
    settings.insert(settings.end(), environment.begin(), environment.end());
    if (!updater.Start(Path("update.exe"), "", settings)) return -1;
    const auto code = updater.WaitForExit([&] {
      if (const HWND box = test::FindMessageBoxOf(updater.Id())) {
        *text = test::MessageBoxText(box);
        if (!text->empty()) (void)test::PressOk(box);
      }
    });
    return code ? static_cast<int>(*code) : -1;
  }

  // Starts the updater to stop once it has closed the program, and waits until it has; it goes
  // on when `pause` is removed. The restarted program records its arguments in `record`.
  void StartPaused(ChildProcess& updater, const std::string& pause, const std::string& record) {
    ASSERT_TRUE(
        updater.Start(Path("update.exe"), "",
                      {{"UPDATE_CHILD_RECORD", record}, {"UPDATE_PAUSE_AT", "closed:" + pause}}));
    ASSERT_TRUE(test::WaitFor([&] { return fs::exists(test::FsPath(pause)); }));
  }

  std::string Read(const std::string& name) {
    return fs::exists(test::FsPath(Path(name))) ? test::ReadFileBytes(Path(name)) : "";
  }

  // Puts the window program into the program directory as `name`.
  void AddWindowProgram(const std::string& name) {
    fs::copy_file(test::FsPath(test::HostPath(UPDATE_WINDOW_PROGRAM)), test::FsPath(Path(name)));
    windowPrograms_.push_back(Path(name));
  }

  std::vector<std::string> windowPrograms_;
};

// The lock of the directory, opened by the updater with no sharing: a reader that comes later
// cannot open it and so cannot hold the updater up; one that came first and keeps it open makes
// the update busy (exit 1, update.result "code busy", update.log), and the program, which had
// ended, starts again.
TEST_F(UpdateExeGuard, AReaderOfTheLockNeverStopsAnUpdateSilently) {
  const std::string name = test::UniqueName("locked-") + ".exe";
  AddProgram(name);
  for (const bool readerFirst : {false, true}) {
    SCOPED_TRACE(readerFirst ? "the reader came first" : "the reader came later");
    fs::remove(test::FsPath(work_.File("restart.txt")));
    LayUpdate(name);
    const std::wstring lock = test::Wide(Path(".update-lock"));
    HANDLE reader = INVALID_HANDLE_VALUE;
    int code = -1;
    std::string text;
    if (readerFirst) {
      reader = CreateFileW(lock.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(reader, INVALID_HANDLE_VALUE);
      code = RunAnswering(&text);
    } else {
      const std::string pause = work_.File("paused");
      ChildProcess updater;
      ASSERT_NO_FATAL_FAILURE(StartPaused(updater, pause, work_.File("restart.txt")));
      reader = CreateFileW(lock.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
      EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
      fs::remove(test::FsPath(pause));
      const auto ended = updater.WaitForExit();
      code = ended ? static_cast<int>(*ended) : -1;
    }
    if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
    EXPECT_EQ(Restart(), "-start\n");
    const std::string result = Read("update.result");
    if (!readerFirst) {
      EXPECT_EQ(code, 0);
      EXPECT_EQ(Read("data.txt"), "new");
      EXPECT_EQ(result.rfind("result applied\ncode applied\n", 0), 0u) << result;
      continue;
    }
    EXPECT_EQ(code, 1);
    const std::string reason =
        "The update was not applied: the program directory's lock .update-lock cannot be taken "
        "(another program has it open";
    EXPECT_EQ(result.rfind("result not-applied\ncode busy\nreason " + reason, 0), 0u) << result;
    const std::string log = Read("update.log");
    EXPECT_NE(log.find(reason), std::string::npos) << log;
    EXPECT_NE(log.find("started " + name + " -start"), std::string::npos) << log;
    EXPECT_EQ(Read("data.txt"), "old");
    EXPECT_TRUE(fs::exists(test::FsPath(Path("update.zip"))));
    EXPECT_TRUE(fs::exists(test::FsPath(Path("uplog.txt"))));
  }
}

// Two programs of one user, each with its own updater, update at the same moment: neither
// keeps the other out.
TEST_F(UpdateExeGuard, TheUpdatersOfTwoProgramsRunAtTheSameMoment) {
  const std::string firstName = test::UniqueName("first-") + ".exe";
  AddProgram(firstName);
  LayUpdate(firstName);
  const std::string firstDir = program_;
  const std::string pause = work_.File("paused");
  ChildProcess first;
  ASSERT_NO_FATAL_FAILURE(StartPaused(first, pause, work_.File("first-restart.txt")));

  UseProgramDirectory("second");
  const std::string secondName = test::UniqueName("second-") + ".exe";
  AddProgram(secondName);
  LayUpdate(secondName);
  EXPECT_EQ(RunUpdater(), 0);
  EXPECT_EQ(Restart(), "-start\n");
  EXPECT_EQ(Read("data.txt"), "new");

  fs::remove(test::FsPath(pause));
  const auto code = first.WaitForExit();
  ASSERT_TRUE(code.has_value());
  EXPECT_EQ(*code, 0u);
  EXPECT_EQ(test::ReadFileBytes(firstDir + "\\data.txt"), "new");
}

// The program is given the grace to end by itself, then asked to close (WM_CLOSE to its
// window) and given the grace again, and only then terminated: a program with a window closes
// when asked; one without a window cannot be asked and is terminated, which update.log and
// update.result say.
TEST_F(UpdateExeGuard, TheProgramIsAskedToCloseBeforeItIsTerminated) {
  struct Row {
    const char* what;
    bool window;
  };
  for (const Row& row :
       {Row{"a window that closes when asked", true}, Row{"no window to ask", false}}) {
    SCOPED_TRACE(row.what);
    fs::remove(test::FsPath(work_.File("restart.txt")));
    const std::string name = test::UniqueName("closing-") + ".exe";
    const std::string closed = work_.File(name + ".closed");
    ChildProcess running;
    const std::string record = work_.File(name + ".first");
    if (row.window) {
      AddWindowProgram(name);
      ASSERT_TRUE(
          running.Start(Path(name), "-window",
                        {{"UPDATE_CHILD_RECORD", record}, {"UPDATE_CHILD_CLOSED", closed}}));
    } else {
      AddProgram(name);
      ASSERT_TRUE(running.Start(Path(name), "-stay", {{"UPDATE_CHILD_RECORD", record}}));
    }
    ASSERT_TRUE(test::WaitFor([&] { return fs::exists(test::FsPath(record)); }));
    LayUpdate(name);
    EXPECT_EQ(RunUpdater(), 0);
    EXPECT_FALSE(running.Running());
    EXPECT_EQ(Restart(), "-start\n");
    EXPECT_EQ(Read("data.txt"), "new");
    const std::string log = Read("update.log");
    const std::string result = Read("update.result");
    const std::string killed = name + " did not close when asked and was terminated.";
    if (row.window) {
      EXPECT_EQ(test::ReadFileBytes(closed), "closed when asked\n");
      EXPECT_NE(log.find("asked " + name + " to close"), std::string::npos) << log;
      EXPECT_NE(log.find("closed " + name + ": it closed when asked"), std::string::npos) << log;
      EXPECT_EQ(log.find(name + " had to be killed"), std::string::npos) << log;
      EXPECT_EQ(result.find(killed), std::string::npos) << result;
    } else {
      EXPECT_NE(log.find(name + " could not be asked to close"), std::string::npos) << log;
      EXPECT_NE(log.find(name + " had to be killed"), std::string::npos) << log;
      EXPECT_NE(result.find(killed), std::string::npos) << result;
    }
  }
}

// A file of the update that another program holds with read sharing (as a viewer or a scanner
// does) while the program runs: Wine's Restart Manager names nobody, but the program's handles
// show that it is not the program's, so the update is refused before anything is closed. A file
// that the program itself holds is left to its closing.
TEST_F(UpdateExeGuard, AFileHeldByAnotherProgramWhileTheProgramRunsIsFoundBeforeClosing) {
  for (const bool byTheProgram : {false, true}) {
    SCOPED_TRACE(byTheProgram ? "held by the program" : "held by another program");
    fs::remove(test::FsPath(work_.File("restart.txt")));
    const std::string name = test::UniqueName("viewed-") + ".exe";
    fs::create_directories(test::FsPath(Path("data")));
    test::WriteFileBytes(Path("data\\engine.dll"), "old engine");
    test::WriteFileBytes(Path("uplog.txt"), name + "\r\n");
    WriteArchive({{"data/engine.dll", "new engine"}});
    fs::remove(test::FsPath(Path("update.log")));
    // The program runs; it or another program holds the file, sharing reading only.
    test::FileHolderProcess program;
    test::FileHolderProcess viewer;
    test::WriteFileBytes(Path("data\\own.dat"), "own");
    ASSERT_TRUE(
        program.Start(Path(name), Path(byTheProgram ? "data\\engine.dll" : "data\\own.dat")));
    if (!byTheProgram) {
      ASSERT_TRUE(
          viewer.Start(work_.File(test::UniqueName("viewer-") + ".exe"), Path("data\\engine.dll")));
    }
    std::string text;
    const int code = RunAnswering(&text);
    const std::string log = Read("update.log");
    const std::string result = Read("update.result");
    if (byTheProgram) {
      EXPECT_EQ(code, 0) << text;
      EXPECT_EQ(Read("data\\engine.dll"), "new engine");
      EXPECT_EQ(Restart(), "-start\n");
      continue;
    }
    EXPECT_EQ(code, 1);
    const std::string refusal = "The update was not applied: data\\engine.dll is in use by ";
    EXPECT_EQ(text.rfind(refusal, 0), 0u) << text;
    EXPECT_NE(log.find(refusal), std::string::npos) << log;
    EXPECT_EQ(log.find("closed " + name), std::string::npos) << "the program was closed\n" << log;
    EXPECT_GT(platform::FindProcessID(name), 0) << "the program was closed";
    EXPECT_EQ(result.rfind("result not-applied\ncode passing\nreason " + refusal, 0), 0u) << result;
    EXPECT_EQ(Read("data\\engine.dll"), "old engine");
    EXPECT_TRUE(fs::exists(test::FsPath(Path("update.zip"))));
  }
}

}  // namespace
