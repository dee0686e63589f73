// Closing the main program: it is given time to end by itself (it started the updater and is
// saving its state), then terminated again and again until it has gone.
#pragma once

#include <chrono>
#include <string>

#include "app/run/step_outcome.h"

// A program that is on its way out is given this long to end by itself.
inline constexpr std::chrono::seconds kExitGrace{3};

// Whether no process of `name` runs, waiting up to `grace` for the last one to end by itself
// (the window handles its messages meanwhile).
bool WaitForExit(const TRunContext& run, const std::string& name, std::chrono::milliseconds grace);

// With an archive waiting: waits until the program `mainExeName` has gone, terminating it again
// and again, and fails, asking for no relaunch, when it has not gone after a minute. Without
// one (`archiveWaits` false): a program still running after the grace is terminated once, to be
// started again. The updater never waits for itself, and nothing is closed without a name.
// `wasRunning`: the program ran when the checks ended (said in update.log when it ended by
// itself).
TStepOutcome CloseProgram(const TRunContext& run, const std::string& mainExeName, bool archiveWaits,
                          bool wasRunning);
