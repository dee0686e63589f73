// Helpers of the tests that start, find and stop real processes: native paths for
// std::filesystem, unique names, and waiting for something another process does.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace test {

// Windows is the system whose native separator is "\".
bool OnWindows();

// A path in the system's form ("\" separators, UTF-8) as a std::filesystem path of the host.
std::filesystem::path FsPath(const std::string& systemPath);

// `stem` followed by a random number: a name that no other test, and no other run, uses.
std::string UniqueName(const std::string& stem);

// Polls `done` until it holds; false when it still does not after a minute (a generous bound
// for a slow Wine start, not a measurement).
bool WaitFor(const std::function<bool()>& done);

}  // namespace test
