// update-pack make: a release's update archive, with its release record and, on request, its
// signature.
#pragma once

#include "tools/update_pack_options.h"

// Packs the release that `options` describe; returns the exit status (0 done, 1 refused or
// failed, with the reason on stderr).
int MakePackage(const TPackOptions& options);
