// The options of the unzipper command line and their parsing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "unzip/unzipper.h"

struct TCommandLineOptions {
  char command = 0;  // 'l' list, 't' test, 'x' extract; 0 with `help`
  bool help = false;
  bool version = false;  // --version: the version only
  std::string archive;
  std::string destination;                    // -d; empty: the current directory
  std::optional<std::string> password;        // -p
  std::optional<TUZOverwriteMode> overwrite;  // -o; unset: prompt on a terminal, else never
  std::vector<std::string> patterns;
};

// Parses the arguments after the program name. False, with a message in `error`, when they do
// not form a command.
bool ParseCommandLine(const std::vector<std::string>& arguments, TCommandLineOptions* options,
                      std::string* error);

// The text of --help.
std::string UsageText();
