// How unzipper shows paths and failures to a person: paths as the user wrote them or as the host
// writes them, the system's reason for a file that cannot be made, plain words for a file that
// is not an archive.
#pragma once

#include <functional>
#include <string>

#include "platform/exceptions.h"
#include "platform/files.h"

// The failure records are copies of platform::LastError() taken right after the failure, before
// anything else can replace it.

// The line (without "unzipper: ") for an archive that cannot be read: not an archive, cut short,
// a read the system refused. `typed` is the archive as the user wrote it. The component's spelling
// of paths in its message becomes the user's (the archive) or the host's (any other path).
std::string ArchiveFailureText(const std::string& typed, const Exception& e,
                               const platform::OsError& failure);

// Why the file `path` (in the component's form) could not be created: a directory, a link, a
// FIFO, a device or a socket in its place, or a file in the way of its directory (named through
// `shown`), else the system's reason from `failure` when it is about `path`; empty when nothing
// is known.
std::string CreateFailureReason(const std::string& path, const platform::OsError& failure,
                                const std::function<std::string(const std::string&)>& shown);

// Why the entry stored as `name` was refused as unsafe when it is that a directory on its way
// below `destination` is a link (named through `shown`, with those words), or could not be
// looked at; empty otherwise.
std::string LinkOnTheWayReason(const std::string& destination, const std::string& name,
                               const std::function<std::string(const std::string&)>& shown);

// The system's reason in `failure` when it is about an open file (a write or a flush) rather
// than a named path; empty otherwise.
std::string HandleFailureReason(const platform::OsError& failure);

// A compression method as a person names it, with its number: "bzip2 (method 12)"; "method N"
// for one without a common name.
std::string MethodInWords(int method);
