// Where an entry goes: its destination directory under the destination (the stored directory
// with a root prefix taken off, drive letters and leading separators re-rooted), whether a path
// built that way stays inside the destination and names a plain file, and whether it would be
// reached through a link.
#pragma once

#include <string>
#include <vector>

// `dir` as a destination directory: without its trailing "\", except a lone root ("\" or a
// drive's root "C:\"), which stays as it is. Trimmed, a root would become "" (the current
// directory) or "C:" (the current directory of drive C).
std::string DestinationDirOf(std::string dir);

// `dir` followed by "\", unless it ends in one already (a root).
std::string WithSeparator(const std::string& dir);

// The destination directory of an entry stored in `directory` (empty or ending in "\"), always
// ending in "\". With `recreateDirs` and a stored directory: the first item of
// `relativePathList` that begins it (letter case ignored) is taken off; what is left goes below
// `baseDir`, a leading "\" or drive letter and ":" included. Otherwise the entry goes to
// `baseDir` itself. `baseDir` is never empty (the caller puts the current directory there); a
// root ("\\", "C:\\") gets no second separator.
std::string EntryDestinationDir(const std::string& baseDir, const std::string& directory,
                                bool recreateDirs,
                                const std::vector<std::string>& relativePathList);

// True when `path`, built from `baseDir` by EntryDestinationDir, is not safe to create: it does
// not begin with `baseDir` and a separator, its part after that climbs above `baseDir` through
// ".." (either "\" or "/" separates), holds a control character (a NUL byte, a line end, a
// tab, ...), has a component the file system would not store under its own name (device names,
// a trailing dot or space, ":" on Windows), or, for a file (`isFile`), ends in an empty, "." or
// ".." component.
bool IsUnsafeOutputPath(const std::string& baseDir, const std::string& path, bool isFile);

// The first directory of `dir` below `baseDir` (`dir` built from `baseDir` by
// EntryDestinationDir) that is a link (a symbolic link, dangling or not; on Windows a junction,
// a mount point, any reparse point), or that cannot be looked at, as a path without its final
// separator; empty when there is none. Whatever a link leads to may lie outside the
// destination, so nothing is written through one. Links are not followed while looking; the
// names after the first one missing, and after a "..", are not looked at. `baseDir` itself, as
// the user chose it, may be a link.
std::string LinkOnTheWay(const std::string& baseDir, const std::string& dir);
