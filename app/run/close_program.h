// Closing the main program: it is given time to end by itself (it started the updater and is
// saving its state), then asked to close and given that time again, then terminated again and
// again until it has gone.
#pragma once

#include <chrono>
#include <string>

#include "app/run/step_outcome.h"

// A program that is on its way out is given this long to end by itself.
inline constexpr std::chrono::seconds kExitGrace{3};

// Whether no process of `name` runs, waiting up to `grace` for the last one to end by itself
// (the window handles its messages meanwhile).
bool WaitForExit(const TRunContext& run, const std::string& name, std::chrono::milliseconds grace);

// With an archive waiting: waits the grace for the program `mainExeName` to end by itself, then
// asks it to close (platform::AskProcessesToClose) and waits the grace again, then terminates it
// again and again, and fails, asking for no relaunch, when it has not gone after a minute.
// Without one (`archiveWaits` false): the same, but a program still running after the ask is
// terminated once, to be started again. The updater never waits for itself, and nothing is
// closed without a name. `wasRunning`: the program ran when the checks ended (said in
// update.log when it ended by itself). `killed` (may be null) is set when the program had to be
// terminated, which update.log says too ("<name> had to be killed").
TStepOutcome CloseProgram(const TRunContext& run, const std::string& mainExeName, bool archiveWaits,
                          bool wasRunning, bool* killed = nullptr);

// What update.result's reason adds when the program had to be terminated.
std::string KilledText(const std::string& mainExeName);
