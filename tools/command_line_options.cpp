// Parsing the unzipper command line: a command letter, options with a value each, the archive
// and, for extraction, patterns.
#include "tools/command_line_options.h"

namespace {

bool OverwriteModeNamed(const std::string& name, TUZOverwriteMode* mode) {
  static const struct {
    const char* name;
    TUZOverwriteMode mode;
  } kModes[] = {{"always", Always},
                {"never", Never},
                {"prompt", Prompt},
                {"newer", ifNewer},
                {"older", ifOlder}};
  for (const auto& entry : kModes) {
    if (name == entry.name) {
      *mode = entry.mode;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParseCommandLine(const std::vector<std::string>& arguments, TCommandLineOptions* options,
                      std::string* error) {
  *options = TCommandLineOptions();
  if (arguments.empty()) {
    *error = "no command given";
    return false;
  }
  for (const std::string& argument : arguments) {
    if (argument == "--help" || argument == "-h") {
      options->help = true;
      return true;
    }
    if (argument == "--version") {
      options->version = true;
      return true;
    }
  }
  const std::string& command = arguments[0];
  if (command != "l" && command != "t" && command != "x") {
    *error = "unknown command '" + command + "'";
    return false;
  }
  options->command = command[0];
  std::vector<std::string> operands;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool takesValue = argument == "-d" || argument == "-p" || argument == "-o";
    if (!takesValue || !operands.empty()) {
      operands.push_back(argument);
      continue;
    }
    if (i + 1 >= arguments.size()) {
      *error = "option " + argument + " needs a value";
      return false;
    }
    const std::string& value = arguments[++i];
    const bool allowed = options->command == 'x' || argument == "-p";
    if (options->command == 'l' || !allowed) {
      *error = "option " + argument + " does not go with command " + command;
      return false;
    }
    if (argument == "-d") {
      options->destination = value;
    } else if (argument == "-p") {
      options->password = value;
    } else {
      TUZOverwriteMode mode;
      if (!OverwriteModeNamed(value, &mode)) {
        *error = "-o takes always, never, prompt, newer or older, not '" + value + "'";
        return false;
      }
      options->overwrite = mode;
    }
  }
  if (operands.empty()) {
    *error = "no archive given";
    return false;
  }
  options->archive = operands[0];
  options->patterns.assign(operands.begin() + 1, operands.end());
  if (!options->patterns.empty() && options->command != 'x') {
    *error = "patterns go with command x only";
    return false;
  }
  return true;
}

std::string UsageText() {
  return R"(Usage:
  unzipper l ARCHIVE
  unzipper t [-p PASSWORD] ARCHIVE
  unzipper x [-d DIR] [-p PASSWORD] [-o always|never|prompt|newer|older] ARCHIVE [PATTERN...]
  unzipper --help
  unzipper --version

Commands:
  l   list the entries: index, method, compressed and uncompressed size, date and time, CRC-32,
      encryption and name, then the archive comment.
  t   test: decode and verify every entry into a temporary directory, which is removed again;
      nothing is left behind.
  x   extract the entries (all, or those whose path matches one of the PATTERNs) below DIR,
      recreating their directories.

Options:
  -d DIR       destination directory for x (default: the current directory; created if missing)
  -p PASSWORD  password for encrypted entries. Without it, a password is asked on the terminal
               when an encrypted entry needs one (an empty answer skips the entry).
  -o MODE      what x does with a file that exists already: always replace it, never replace it,
               prompt (ask on the terminal), newer (replace it when the entry is newer), older
               (replace it when the entry is older). Default: prompt on a terminal, else never.

Patterns match the whole stored path, letter case ignored: ? one character, * any run of
characters, <abc> or <a-z> one character of a set, <!abc> one character outside it.

Nothing is written through a link: a link where a file goes counts as a file that exists and
is replaced itself, as -o says; an entry whose directory lies behind a link, and a FIFO, a
device or a socket where a file goes, are refused.

Exit status:
  0  every chosen entry was extracted (or tested) and verified
  1  some entries were skipped or rejected (each is named on stderr with its reason; a damaged
     entry does not stop the entries after it), or the archive could only be read with
     warnings: a directory rebuilt from the local headers, or an absolute or drive-letter path
     placed below the destination (each named on stderr)
  2  the archive cannot be read (the reason is on stderr), or the command line is wrong

A progress bar is shown on stderr when it is a terminal.
)";
}
