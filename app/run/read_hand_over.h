// The run's first step: the hand-over file "uplog.txt" read, and the main program's name settled
// from it (or from an interrupted run's journal, or the default).
#pragma once

#include <string>
#include <vector>

#include "app/run/step_outcome.h"
#include "app/update_transaction.h"

// The hand-over file's name in the program directory.
inline constexpr char kHandOverFile[] = "uplog.txt";

struct THandOver {
  bool Present = false;            // something is at the hand-over file's name
  std::vector<std::string> Lines;  // what it says, when it could be read
  std::string MainExeName;         // the program's file name; empty while not settled
};

// Reads the hand-over file (tried again for about a second while it cannot be opened: its writer
// is usually just exiting) and settles the main program's name: a bare file name as it stands, a
// path as its file name when it leads into the program directory. Without a hand-over file, the
// name that `recovery` found in a journal stands in while an archive waits (`archiveWaits`) or
// for the relaunch after an update it applied; otherwise the default does. Raises when the file
// is there but cannot be read, or names a file elsewhere; `handOver` then holds what was settled
// before (Present, and no name).
void ReadHandOverFile(const TRunContext& run, const update_transaction::TRecovery& recovery,
                      bool archiveWaits, THandOver* handOver);
