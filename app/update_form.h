// TForm1, the update window and the update sequence it shows: preparation when it is created,
// the wait for the main program and the extraction on the first timer tick, the progress bar
// during the extraction, and the relaunch of the main program when it is destroyed. The steps
// themselves are the update run's (app/update_run.h); the window shows their progress and their
// failures.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/update_run.h"
#include "app/update_transaction.h"
#include "platform/jpeg_image.h"
#include "platform/ui.h"
#include "unzip/unzipper.h"

class TThemedProgressBar;
class TControlSurface;

class TForm1 {
  // First: the documented fields below are its names.
  TUpdateRun run_;

 public:
  // Creates the window and its components, then runs FormCreate. `recovery`: what the start-up
  // recovery found of an interrupted run (its main program's name stands in when no hand-over
  // file is there; an unfinished transaction stops the update).
  explicit TForm1(const update_transaction::TRecovery& recovery = {});
  ~TForm1();  // runs FormDestroy, unless it ran already
  TForm1(const TForm1&) = delete;
  TForm1& operator=(const TForm1&) = delete;

  platform::ui::Window& Window() { return *window_; }

  // The sequence; public so that the entry and the tests can follow it.
  void FormCreate();
  void Timer1Timer();
  void update();
  void onUnzipProcess(TUnZipper* sender, int percent);
  void onUnzipDone(TUnZipper* sender, int fileCount);
  // The end of the run (the relaunch and update.result); once (the entry runs it before the
  // window goes, so that the relaunch's outcome reaches the exit code).
  void FormDestroy();
  void openmain();

  // The process's exit code, once FormDestroy has run (app/update_run.h).
  int ExitCode() const;

  // The run's names, under the window's documented field names.
  std::string& MainExeName = run_.MainExeName;
  std::vector<std::string>& LogList = run_.LogList;
  std::string& ZipFileName = run_.ZipFileName;

 private:
  // The end of the sequence's work on the first tick: its failure shown and the window closed.
  void FinishUpdate(const TRunResult& result);
  void Close();

  std::unique_ptr<platform::ui::Window> window_;
  std::unique_ptr<TThemedProgressBar> pb_unzip;
  std::unique_ptr<platform::ui::Timer> Timer1;
  std::unique_ptr<TControlSurface> surface_;
  platform::RgbImage background_;
  bool destroyed_ = false;
};

// The window's instance, while it exists.
extern TForm1* Form1;
