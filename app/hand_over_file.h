// The hand-over file "uplog.txt": its lines, and the main program's name taken from the first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The lines of `path`: the whole file read as bytes (opened for reading while denying other
// writers), split at CR LF, a lone CR and a lone LF; a NUL byte ends the text; a final line
// break adds no empty line; a UTF-8 byte-order mark in front is dropped. A UTF-16 byte-order mark
// (FF FE or FE FF, as PowerShell writes) makes the text UTF-16 of that byte order. The text is
// UTF-8 when it is valid UTF-8, else text in the system's ANSI code page, which is converted to
// UTF-8 (platform::HandOverTextToUtf8). Raises the stream's exception when the file cannot be
// opened, and EStreamError when it holds more than kMaxHandOverFileSize bytes (no program's name
// needs them, and reading them whole could exhaust the memory).
std::vector<std::string> LoadLines(const std::string& path);

constexpr int64_t kMaxHandOverFileSize = 64 * 1024;

// `text` without leading and trailing bytes 0x00 to 0x20.
std::string TrimBlanks(const std::string& text);

// The main program's executable name from the hand-over lines: the first line without its
// blanks, or "main.exe" when there is no line or the first is blank.
std::string MainExeNameFrom(const std::vector<std::string>& lines);
