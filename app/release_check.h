// The release check before anything is closed: the release record that update.zip carries,
// against the record of the release installed in the program directory, and the files the new
// release takes away.
//
// What passes:
//   - an archive with a record, over a directory without one (the first update after an
//     install), whatever the record says;
//   - an archive with a record of the installed product, of a newer version, whose "from" (if
//     any) is the installed version;
//   - an archive without a record, where no update.pub asks for signed updates or no release is
//     installed: it is applied as any archive is.
// What is refused, with the program left running: a record that is not valid or in a spelling
// of its name other than ".update-release"; another product; a version not newer than the one
// installed; a "from" that is not the installed version; a removal of the main program, of the
// updater itself, of the key update.pub (a signed package may replace it, never remove it), of
// the installed record or of a name the updater keeps for itself; with update.pub and an
// installed release, an archive without a record (the signature then binds product and
// version); and an installed record that cannot be read (the check could not run).
#pragma once

#include <string>
#include <vector>

#include "app/archive_check.h"

class TUnZipper;

// The release record an archive carries at the top of its tree.
struct TArchiveRelease {
  bool Present = false;
  std::string Text;  // its bytes, when Present
};

// Finds and reads the archive's record through the component (`directory` has its directory
// loaded). Refuses an archive that holds the record's name in another letter case, or more than
// once, or a record that cannot be extracted.
TRefusal ReadArchiveRelease(TUnZipper& directory, TArchiveRelease* release);

// Decides whether the archive's release may be applied over the one installed in `appDir`
// (which ends in "\"). `mainExeName` and `updaterName` are the file names of the main program and
// of the updater in the program directory. On success `removals` lists the paths the release
// takes away ("\" separators, relative to the program directory).
TRefusal CheckRelease(const std::string& appDir, const TArchiveRelease& archive,
                      bool signatureRequired, const std::string& mainExeName,
                      const std::string& updaterName, std::vector<std::string>* removals);
