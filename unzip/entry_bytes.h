// One small entry of an archive read into memory through the component's own extraction, and so
// through its checks (CRC, authentication, the destination rules), by way of a scratch
// directory in the system's temporary directory that is removed again.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TUnZipper;

// Extracts the entry at `index` of the sorted view of `zipper` (whose directory is loaded; the
// archive stays as it was) and returns its bytes in `bytes`. False, with `reason` in words, when
// it is larger than `maxSize` by its directory or on the disk, or it cannot be extracted or read
// back. The zipper's destination, choice of entries and overwrite mode are restored after.
[[nodiscard]] bool ExtractEntryBytes(TUnZipper& zipper, int index, uint64_t maxSize,
                                     std::string* bytes, std::string* reason);

// The index in the sorted view of `zipper` of the file entry `name` at the top of the tree:
// -1 when there is none, -2 when the name is there more than once or also in another letter
// case (which a file system that does not tell cases apart would take for the same file).
int FindTopLevelEntry(const TUnZipper& zipper, std::string_view name);
