// unzipper l: the entries of an archive, one line each, and its comment.
#pragma once

#include <string>

// The name of a compression method as listings show it.
std::string MethodName(int method);

// Prints the listing of `archive` on stdout; returns the exit status (0, 1 with warnings on
// stderr, 2 when the archive cannot be read).
int ListArchive(const std::string& archive);
