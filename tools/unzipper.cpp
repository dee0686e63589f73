// unzipper: the command-line front end of the archive component, to list, test and extract
// archives (and to check an update archive before it ships).
#include <cstdio>

#include "platform/command_line.h"
#include "platform/product_version.h"
#include "tools/archive_listing.h"
#include "tools/command_line_options.h"
#include "tools/extraction_session.h"

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
  TCommandLineOptions options;
  std::string error;
  if (!ParseCommandLine(std::vector<std::string>(arguments.begin() + (arguments.empty() ? 0 : 1),
                                                 arguments.end()),
                        &options, &error)) {
    std::fprintf(stderr, "unzipper: %s\nTry 'unzipper --help'.\n", error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(UsageText().c_str(), stdout);
    return 0;
  }
  if (options.version) {
    std::printf("unzipper %s\n", platform::kProductVersion);
    return 0;
  }
  if (options.command == 'l') return ListArchive(options.archive);
  return RunExtraction(options);
}
