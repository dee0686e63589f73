// Links and FIFOs for the tests of what the code does with them, made through std::filesystem and
// the shell so that they do not depend on the platform layer under test.
#pragma once

#include <string>

namespace test {

// Makes `link` a symbolic link to `target` (a link to a directory when `directory`). False when
// this system made none: Wine 8's CreateSymbolicLinkW reports success and makes nothing, and it
// cannot make junctions either.
bool MakeLink(const std::string& target, const std::string& link, bool directory);

// Makes a FIFO at `path`; false on Windows, which has none.
bool MakeFifo(const std::string& path);

}  // namespace test
