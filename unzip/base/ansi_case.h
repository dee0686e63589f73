// Lower-casing of text in the system's ANSI code page, which is UTF-8 on every platform the
// updater runs on. Locale-independent, so Linux and Windows give the same result.
#pragma once

#include <string>
#include <string_view>

// ASCII "A"-"Z", plus the simple lower-case mapping of the capitals of Latin-1 Supplement,
// Latin Extended-A, Greek and Cyrillic when they are written as valid UTF-8. Every other byte,
// including each byte of an invalid sequence, is copied unchanged.
std::string AnsiLowerCase(std::string_view text);
