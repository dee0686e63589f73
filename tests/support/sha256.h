// SHA-256 for tests that compare output with published checksums.
#pragma once

#include <string>
#include <string_view>

namespace test {

// The digest of `data` as 64 lower-case hex digits.
std::string Sha256Hex(std::string_view data);

}  // namespace test
