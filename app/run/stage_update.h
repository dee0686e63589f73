// After the program has gone: the archive's second check, which decides, and its extraction into
// the staging directory, verified through the same file before anything of the program is
// touched.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/run/checked_archive.h"
#include "app/run/staging_observer.h"
#include "app/run/step_outcome.h"
#include "app/update_journal.h"
#include "app/update_transaction.h"
#include "platform/files.h"

class TUnZipper;

// What the staging left for the commit.
struct TStagedUpdate {
  // Names the main program and the archive from the start; says staged, with the archive's
  // stored directories.
  TUpdateJournal Journal;
  std::vector<std::string> Extracted;          // the files written and verified
  std::vector<std::string> KeepPermissionsOf;  // those without permission bits of their own
  // Watched from before the first staged byte: its flush reports any write-back failure since.
  std::unique_ptr<platform::FileSystemFlush> StagedFiles;
};

// An earlier update left half in place (`recovery` unfinished) is tried once more: the program
// that held its files has just been closed; if it still cannot be finished, the update fails.
// Then the archive is checked again (a refusal: `archive`'s check, which sets a damaged or
// unsigned archive aside), the journal is written saying staged, and `component` (its
// directory read by the checks) extracts the archive into an emptied staging directory through
// the handle it read the directory with, which must lead to the file that was checked, unchanged
// at the end. `observer`'s events reach the window. The component is released at the end (which
// closes the archive), and so is `archive`. A failure leaves the journal saying staged with the
// program's name, and is permanent when the archive's data are at fault.
TStepOutcome StageUpdate(const TRunContext& run, update_transaction::TRecovery* recovery,
                         const std::string& mainExeName, std::unique_ptr<TUnZipper>& component,
                         TCheckedArchive* archive, const TStagingObserver::TProgress& onProgress,
                         const TStagingObserver::TExtracted& onExtracted, TStagedUpdate* staged);
