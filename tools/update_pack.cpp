// update-pack: the publisher's packer of update archives. "make" packs a release tree (whole, or
// only its changes since an older release) with its release record and, on request, signs it;
// "show" says what an update archive holds and whether its signature verifies.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/command_line.h"
#include "platform/product_version.h"
#include "tools/update_pack_make.h"
#include "tools/update_pack_options.h"
#include "tools/update_pack_show.h"

namespace {

constexpr int kUsage = 2;

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
  if (!arguments.empty()) arguments.erase(arguments.begin());
  TPackOptions options;
  std::string error;
  if (!ParsePackOptions(arguments, &options, &error)) {
    std::fprintf(stderr, "update-pack: %s\n%s", error.c_str(), kPackSynopsis);
    return kUsage;
  }
  switch (options.Command) {
    case TPackOptions::pcHelp:
      std::printf("%s\n%s", kPackSynopsis, kPackDetails);
      return 0;
    case TPackOptions::pcVersion:
      std::printf("update-pack %s\n", platform::kProductVersion);
      return 0;
    case TPackOptions::pcMake:
      return MakePackage(options);
    case TPackOptions::pcShow:
      return ShowPackage(options);
  }
  return kUsage;
}
