// Whether a running process's executable answers to a name: the one rule that process search and
// termination use on every system.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// `executable` is the executable text a process listing reports (a bare file name or a full
// path with "\" separators), `name` the name asked for. They match when either
//   1. the file-name part of `executable` (the text after its last "\" or ":", all of it when it
//      holds neither) equals `name`, or
//   2. all of `executable` equals `name`,
// both sides upper-cased first. Only the ASCII letters a to z are upper-cased; every other byte
// is compared as it stands, and equality is of whole strings. So a name differing only in the
// case of ASCII letters matches, a full path matches the process of that very path, and a name
// with a directory in front ("bin\main.exe") matches nothing. An empty name matches nothing.
//
// Texts are UTF-8, in which the bytes of "\" and ":" never occur inside a multi-byte character:
// a byte-wise search for the last separator is therefore exact for every character.
bool ProcessNameMatches(std::string_view executable, std::string_view name);

}  // namespace platform
