// The arguments of a command-line program as UTF-8 text, whatever the system's code page.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The program's arguments, argv[0] included, as UTF-8. On Windows they are read from the wide
// command line (argv holds them in the ANSI code page) and the console is switched to UTF-8
// output, so that names print as they are.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

}  // namespace platform
