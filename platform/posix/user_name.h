// The name of a user for a person to read, from the user id.
#pragma once

#include <pwd.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace platform::internal {

// "alice"; the number when the user has no name.
inline std::string UserNameOf(uid_t uid) {
  std::vector<char> buffer(16384);
  struct passwd entry;
  struct passwd* found = nullptr;
  if (getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::to_string(uid);
  }
  return found->pw_name;
}

}  // namespace platform::internal
