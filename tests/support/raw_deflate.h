// Raw deflate data (no zlib header or trailer), as ZIP entries store it, for tests that build
// deflated entries.
#pragma once

#include <string>

namespace test {

// `data` compressed with zlib at level 6 into a raw deflate stream.
std::string RawDeflate(const std::string& data);

}  // namespace test
