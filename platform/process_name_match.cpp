// The matching rule of process search and termination, shared by the POSIX and Windows layers.
#include "platform/process_name_match.h"

#include "platform/ascii_case.h"

namespace platform {

bool ProcessNameMatches(std::string_view executable, std::string_view name) {
  if (name.empty()) return false;
  const std::string wanted = UpperCaseAscii(name);
  const size_t separator = executable.find_last_of("\\:");
  const std::string_view fileName =
      separator == std::string_view::npos ? executable : executable.substr(separator + 1);
  return UpperCaseAscii(fileName) == wanted || UpperCaseAscii(executable) == wanted;
}

}  // namespace platform
