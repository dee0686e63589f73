// Entries whose data descriptor is cut off: the local header leaves the CRC and sizes to a
// descriptor after the data, and there is no room for one before the next record (a local
// header, the central directory) or the end of the file. The central directory still gives the
// values, so the data can be extracted and checked; the archive itself is damaged. Built on the
// public members alone.
#pragma once

#include <vector>

class TUnZipper;

// The indexes in the sorted view of `zipper` (whose directory is loaded) of the entries whose
// descriptor is cut off. Looked for in single-file archives whose directory was read as stored
// (a rebuild looks for the descriptors itself); the archive is opened for it and closed again.
std::vector<int> EntriesWithCutOffDescriptor(const TUnZipper& zipper);
