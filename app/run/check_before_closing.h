// The checks before anything is closed: everything that can refuse the update is asked while the
// program still runs, so that a refusal changes nothing (app/archive_check.h, release_check.h,
// link_check.h, files_in_use.h, and the archive itself, app/run/checked_archive.h).
#pragma once

#include <string>
#include <vector>

#include "app/run/checked_archive.h"
#include "app/run/read_hand_over.h"
#include "app/run/step_outcome.h"
#include "app/update_transaction.h"

class TUnZipper;

// What the checks found that later steps need.
struct TCheckedUpdate {
  bool ArchiveWaits = false;          // something is at the archive's name
  std::vector<std::string> Removals;  // the files the release takes away, relative paths
  bool WasRunning = false;            // the program ran when the checks ended
};

// With no archive there is nothing to check: the hand-over file is deleted and the run has
// nothing to apply. With one, the journal learns the program's name first, then every check
// runs in turn (an unreadable journal, the archive and its signature, its directory, read once
// into `component` for the extraction, the release record, links on the way, the right to
// write, the room, files held by other programs); once they ran to their end the hand-over file
// is deleted. The first check that refuses ends the step. Last, the marker file goes.
TStepOutcome CheckBeforeClosing(const TRunContext& run,
                                const update_transaction::TRecovery& recovery,
                                const THandOver& handOver, TUnZipper& component,
                                TCheckedArchive* archive, TCheckedUpdate* checked);
