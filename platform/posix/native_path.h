// What the POSIX implementations of the file layer share: a path in the system's own form, and
// the failure record with errno.
#pragma once

#include <string>

namespace platform::internal {

// The native form of a system path ("\" -> "/"); false, with EINVAL recorded for `operation`,
// when the path has a NUL byte in it, which would silently cut the name short at the system call.
bool Native(const char* operation, const std::string& path, std::string* native);

// `native` without final "/" (a lone "/" stays): a call given "link/" resolves the link, one
// given "link" does not.
std::string WithoutFinalSlashes(std::string native);

// The system form of a native path ("/" -> "\").
std::string SystemForm(std::string path);

}  // namespace platform::internal
