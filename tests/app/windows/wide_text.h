// UTF-8 and UTF-16 for the Windows end-to-end tests, which call the wide API themselves.
#pragma once

#include <string>

namespace test {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);

}  // namespace test
