// What the extraction into the staging directory tells while it runs, kept for the steps after
// it: which files it wrote and verified (only those are applied), which of them bring no
// permission bits of their own (they keep those of the file they replace), which entry it is
// writing (to name it when the extraction fails on it), and the first entry it skipped or found
// damaged (a partial update is never taken for a whole one).
#pragma once

#include <functional>
#include <string>
#include <vector>

class TUnZipper;
class TUpdateLog;

class TStagingObserver {
 public:
  using TProgress = std::function<void(TUnZipper* sender, int percent)>;
  using TExtracted = std::function<void(TUnZipper* sender, int fileCount)>;

  // Watches `component`, which extracts into `staging` (a full path ending in "\"), for the
  // rest of the observer's life; skipped and damaged entries are written into `log`. The
  // component's progress and its end of the extraction go on to `onProgress` and `onExtracted`.
  TStagingObserver(TUnZipper& component, std::string staging, TUpdateLog& log, TProgress onProgress,
                   TExtracted onExtracted);
  TStagingObserver(const TStagingObserver&) = delete;
  TStagingObserver& operator=(const TStagingObserver&) = delete;

  // The files written and verified, relative to the staging directory.
  const std::vector<std::string>& Extracted() const { return extracted_; }
  // Those of them whose entries carry no permission bits.
  const std::vector<std::string>& KeepPermissionsOf() const { return keepPermissionsOf_; }
  // The entry being written now; empty between entries.
  const std::string& CurrentEntry() const { return currentEntry_; }
  // "<entry> was not updated: <why>" for the first entry skipped or damaged; empty when none.
  const std::string& FirstProblem() const { return firstProblem_; }
  // Whether that first problem is the archive's own (it never applies as it is), rather than a
  // file that could not be written this time.
  bool ProblemPermanent() const { return problemPermanent_; }

 private:
  void Problem(const std::string& problem, bool permanent);

  std::string staging_;
  TUpdateLog& log_;
  std::vector<std::string> extracted_;
  std::vector<std::string> keepPermissionsOf_;
  std::string currentEntry_;
  std::string firstProblem_;
  bool problemPermanent_ = false;
};
