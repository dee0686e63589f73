// The matching rule of process search and termination, shared by the POSIX and Windows layers.
#include "platform/process_name_match.h"

namespace platform {

std::string UpperCaseAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

bool ProcessNameMatches(std::string_view executable, std::string_view name) {
  if (name.empty()) return false;
  const std::string wanted = UpperCaseAscii(name);
  const size_t separator = executable.find_last_of("\\:");
  const std::string_view fileName =
      separator == std::string_view::npos ? executable : executable.substr(separator + 1);
  return UpperCaseAscii(fileName) == wanted || UpperCaseAscii(executable) == wanted;
}

}  // namespace platform
