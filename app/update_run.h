// The update sequence without its window: the preparation (hand-over file, names, first
// termination, marker file), the wait for the main program, the extraction of "update.zip" into
// the staging directory with its verdicts, the transaction that moves it over the program
// directory, and the relaunch of the main program. What a person is to be told comes back as a
// result, for the window to show.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/archive_check.h"
#include "app/files_in_use.h"
#include "app/update_log.h"
#include "app/update_result.h"
#include "app/update_transaction.h"
#include "platform/crypto.h"
#include "platform/files.h"
#include "unzip/unzipper.h"

// How a step of the run ended.
struct TRunResult {
  std::string Failure;   // the text of the error box; empty when there is nothing to tell
  bool Relaunch = true;  // whether the main program starts again when the sequence ends
};

class TUpdateRun {
 public:
  // `recovery`: what the start-up recovery found of an interrupted run (its main program's name
  // stands in when no hand-over file is there; an unfinished transaction stops the update). The
  // component is set up with the settings of the window description.
  explicit TUpdateRun(const update_transaction::TRecovery& recovery);
  ~TUpdateRun();
  TUpdateRun(const TUpdateRun&) = delete;
  TUpdateRun& operator=(const TUpdateRun&) = delete;

  // Between the steps of a wait, and once in the preparation: the window handles its messages.
  std::function<void()> OnWait;
  // The preparation found no archive: the sequence is to end (it still goes on to its end).
  std::function<void()> OnNothingToApply;
  // The component's progress over the whole extraction, in percent.
  std::function<void(TUnZipper* sender, int percent)> OnProgress;
  // The component's end of the extraction; it still works until UnZip returns.
  std::function<void(TUnZipper* sender, int fileCount)> OnExtracted;

  // Reads and deletes the hand-over file, settles the names, checks that the update can be done
  // (the archive's signature when "update.pub" lies beside the updater, the right to write the
  // program directory, the room on its volume), terminates the main program a first time unless
  // a check refused, and deletes the marker file. It fails closed: while an archive waits, the
  // run is refused until every check has passed, so a preparation that stops early on an error
  // refuses the update with that error's text, leaving the archive, the hand-over file and a
  // running program as they are. Without an archive the defaults stand in for what it did not
  // settle. Raises nothing.
  void Prepare();

  // Waits until the main program has gone, terminating it again and again; the updater never
  // waits for itself. A failure, without relaunch, when it has not gone after a minute. A check
  // of the preparation that refused comes back here at once, with a relaunch only when the
  // program was not running.
  TRunResult WaitForMainProgram();

  // The update: refused unless the checks of this run's preparation passed. The archive is
  // checked again through the handle the preparation opened (a regular file, the same file, its
  // signature verified again on the digest of what is read now, which decides), then extracted
  // and verified through that same file into the staging directory before anything of the
  // program is touched, then moved into place by the transaction. At its end the component
  // is released (which closes the archive) and, when everything was applied, the archive and the
  // transaction's directories deleted; on a failure the archive stays for a later run and the
  // main program starts again as it is. Errors of the component's set-up raise.
  TRunResult Apply();

  // Starts the main program again, in its own directory; where no archive waited, a "main.exe"
  // beside a main program of another name takes that name first. After a refusal it starts only
  // when the program is not running (given a moment to end). The failure's text, for a box, or
  // empty. Raises nothing.
  std::string StartMainProgram();

  // The process's exit code: 0 when the update was applied or there was nothing to apply, 1
  // when it was not applied or the program could not be started again.
  int ExitCode() const;
  // Writes update.result, what this run did, for the program.
  void RecordResult();

  // After the relaunch: until now, a killed run's successor would still have known whom to start.
  void ForgetFinishedUpdate();

  std::string MainExeName;
  std::vector<std::string> LogList;
  std::string ZipFileName;

 private:
  // Reads the hand-over file (retried for about a second while it cannot be opened: its writer
  // is usually just exiting) and settles the main program's name; raises when it cannot be read.
  void ReadHandOver(bool archiveWaits);
  // The refusal of the first check that failed; passed when all passed.
  TRefusal CheckBeforeClosing();
  // Writes the release the archive holds into update.log.
  void LogRelease(const struct TArchiveRelease& release);
  // Opens the archive and hashes it through the handle it keeps.
  TRefusal OpenAndHashArchive(uint8_t (&digest)[platform::kSha256Length]);
  // The second check, after the program has gone: the file still held is the one that was
  // checked and verifies again.
  TRefusal CheckArchiveAgain();
  // The run ends with `refusal` (logged); the program starts again afterwards when `relaunch`
  // and it is not running then. A permanent refusal sets the archive aside.
  void Refuse(const TRefusal& refusal, bool relaunch);
  // Moves update.zip (and its signature) to update.zip.refused, replacing an older one.
  void SetArchiveAside();
  // A journal says that an update was applied and the main program is still to be started.
  bool AppliedUpdateAwaitsRelaunch() const;

  std::unique_ptr<TUnZipper> unzip_;
  std::string firstProblem_;  // the first entry skipped or rejected, with its reason
  update_transaction::TRecovery recovery_;
  TUpdateLog log_;
  TRunResult refusal_;             // a check before closing refused: the run ends with this
  bool checksPassed_ = false;      // every check before closing passed in this run
  bool wasRunning_ = false;        // the main program ran when the preparation closed it
  bool handedOver_ = false;        // a hand-over file was read
  bool archiveWaited_ = false;     // an archive lay there when the run began
  bool refused_ = false;           // a check before closing refused, or could not run
  bool problemPermanent_ = false;  // the archive itself is at fault: it never applies as it is
  bool relaunchFailed_ = false;
  TUpdateResult result_;
  files_in_use::TLockFailure previousLock_;  // from the last run's update.result
  bool signatureRequired_ = false;
  // The archive as checked: held open from the first check to the end of the extraction, with
  // what it held then.
  platform::File archive_;
  platform::FileStamp archiveStamp_;
  uint8_t archiveDigest_[platform::kSha256Length] = {};
  // The files the archive's release record takes away, checked before closing.
  std::vector<std::string> removals_;
};
