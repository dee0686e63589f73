// The program tree check: an update is refused before anything is closed when a directory on the
// way to one of its files, or a file it replaces, is a link (a symbolic link, a junction, a mount
// point) or a special file, as the files would be written through the link, outside the tree.
#pragma once

#include <string>
#include <vector>

// Looks, without following links, at every existing directory on the way to each of `targets`
// (paths relative to `programDir` with "\" separators, the archive's entry names after the
// destination rule; a directory ends in "\") and at each target itself. Each directory is looked
// at once. Empty when none is a link and no target is a link or a special file (a FIFO, a
// device, a socket); else the refusal's text, naming the first one met by its relative path:
// "The update was not applied: data is a link; the updater does not write through links."
// A name that cannot be looked at, or a target that climbs out through "..", refuses the update
// as well.
std::string ProgramTreeLinkRefusal(const std::string& programDir,
                                   const std::vector<std::string>& targets);
