// unzipper t and x: one extraction run with the component, its events turned into terminal
// questions, a progress bar and a report of every entry that did not make it.
#pragma once

#include "tools/command_line_options.h"

// Runs command 't' or 'x' of `options`; returns the exit status (0, 1 or 2).
int RunExtraction(const TCommandLineOptions& options);
