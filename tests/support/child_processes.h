// Helpers of the tests that start, find and stop real processes: unique names, and waiting for
// something another process does. (Paths for std::filesystem: FsPath in temp_dir.h.)
#pragma once

#include <functional>
#include <string>

#include "support/temp_dir.h"

namespace test {

// Windows is the system whose native separator is "\".
bool OnWindows();

// `stem` followed by a random number: a name that no other test, and no other run, uses.
std::string UniqueName(const std::string& stem);

// Polls `done` until it holds; false when it still does not after a minute (a generous bound
// for a slow Wine start, not a measurement).
bool WaitFor(const std::function<bool()>& done);

}  // namespace test
