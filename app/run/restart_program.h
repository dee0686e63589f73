// The run's end for the program: it is started again in its own directory with "-start".
#pragma once

#include <string>

#include "app/run/step_outcome.h"

// The argument the program is started with.
inline constexpr char kStartArgument[] = "-start";

// Starts `mainExeName` again. Where no archive waited (`archiveWaited` false), a "main.exe"
// beside a program of another name takes that name first, in one step. After a refusal
// (`refused`: the program may not have been closed) it starts only when it is not running,
// given a moment to end. Passed, or failed with the text a person must read ("... could not be
// started: <why>. Start it again by hand."). Raises nothing.
TStepOutcome RestartProgram(const TRunContext& run, const std::string& mainExeName,
                            bool archiveWaited, bool refused);
