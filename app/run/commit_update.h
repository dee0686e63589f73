// The commit: the staged files moved into place through the transaction (app/update_transaction.h),
// rolled back when a move fails; after success the archive and the transaction's directories go.
#pragma once

#include <string>

#include "app/files_in_use.h"
#include "app/run/stage_update.h"
#include "app/run/step_outcome.h"

// Plans the moves for what was staged (refusing, permanently, a name kept for the updater's own
// files), writes them into the journal, and commits; renames held up by another program's handle
// wait within one budget for the commit and one for a roll-back (each wait logged once per
// file). A failed commit is rolled back. `previousLock`: what stopped the last run, said again
// when the same file stops the same archive now; `locked` receives the lock that stopped this
// one ("<sha256> <file>", app/files_in_use.h), or stays empty.
TStepOutcome CommitUpdate(const TRunContext& run, TStagedUpdate& staged,
                          const std::vector<std::string>& removals,
                          const files_in_use::TLockFailure& previousLock, std::string* locked);
