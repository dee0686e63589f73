// The end of an update that was not applied: the archive is let go of, and set aside as
// "update.zip.refused" (with its signature) when it can never be applied as it is, so that a
// program that starts the updater whenever an archive waits does not loop; otherwise it stays
// for a later run.
#pragma once

#include <string>

#include "app/run/checked_archive.h"
#include "app/run/step_outcome.h"

class TUnZipper;

// Lets go of the archive (`component`, when there still is one, and `archive`), then sets it
// aside when `outcome` is permanent. The sentence update.result adds to its reason ("update.zip
// was set aside as update.zip.refused."), or empty when the archive stays.
std::string SetAsideOrKeep(const TRunContext& run, const TStepOutcome& outcome,
                           TUnZipper* component, TCheckedArchive* archive);
