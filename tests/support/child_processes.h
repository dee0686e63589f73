// Helpers of the tests that start, find and stop real processes: unique names, and waiting for
// something another process does. (Paths for std::filesystem: FsPath in temp_dir.h.)
#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "support/temp_dir.h"

namespace test {

// Windows is the system whose native separator is "\".
bool OnWindows();

// `stem` followed by a random number: a name that no other test, and no other run, uses.
std::string UniqueName(const std::string& stem);

// How long a test waits for another process to do what it expects (start, write its record, end)
// before it gives up: a bound for a process that never will, generous enough for a slow Wine
// start on a machine busy with other builds, never a measurement. Tests wait for the event
// itself, never for a fixed time in the hope that it has happened.
inline constexpr std::chrono::seconds kProcessWait{180};

// Polls `done` until it holds; false when it still does not after kProcessWait.
bool WaitFor(const std::function<bool()>& done);

}  // namespace test
