// Command-line arguments on POSIX: argv already holds the bytes as given.
#include "platform/command_line.h"

namespace platform {

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

}  // namespace platform
