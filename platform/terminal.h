// The terminal of a command-line program: whether its streams are one, and questions asked on it.
#pragma once

#include <string>

namespace platform {

bool StdinIsTerminal();
bool StderrIsTerminal();

// Shows `prompt` on the terminal and reads one line typed there, without its line end. With
// `echo` false, what is typed is not shown (for passwords). False when there is no terminal or
// the input ended.
bool ReadTerminalLine(const std::string& prompt, bool echo, std::string* line);

}  // namespace platform
