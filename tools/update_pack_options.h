// update-pack's command line: the commands, their options and the usage text.
#pragma once

#include <string>
#include <vector>

// The forms of the command (shown with a usage error), and what they do (with --help).
extern const char kPackSynopsis[];
extern const char kPackDetails[];

struct TPackOptions {
  enum TCommand { pcHelp, pcVersion, pcMake, pcShow };
  TCommand Command = pcHelp;
  // make
  std::string Product;
  std::string Version;
  std::string NewDir;
  std::string OldDir;       // --from: empty for a full package
  std::string FromVersion;  // --from-version: the release of OldDir when no record says it
  std::string SigningKey;   // --sign: a private key file, or empty
  std::string Output;       // -o
  // show
  std::string Archive;
  std::string PublicKey;  // --key, or empty
};

// Reads the arguments after the program's name. False with `error` in words when they do not
// form one of the commands of the usage text (a usage error).
[[nodiscard]] bool ParsePackOptions(const std::vector<std::string>& arguments,
                                    TPackOptions* options, std::string* error);
