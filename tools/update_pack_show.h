// update-pack show: what an update archive holds, as the updater's archive component reads it:
// its release record, its entries and sizes, and whether its signature verifies.
#pragma once

#include "tools/update_pack_options.h"

// Prints the archive of `options` on stdout; returns the exit status: 0 when the archive reads,
// holds a valid release record and only entries an updater may apply, and (with a key) its
// signature verifies; 1 otherwise, with the reasons on stderr.
int ShowPackage(const TPackOptions& options);
