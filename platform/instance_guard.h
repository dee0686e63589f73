// The single-instance guard: a named lock that one process of the user holds from the moment it
// acquires it until it ends, with one contract for Windows (platform/win32) and POSIX
// (platform/posix).
//
// The guard fails open: only another live process holding the name refuses the caller; any error
// on the way (no lock could be made, opened or waited on) lets the caller run. An acquired guard
// is never released or removed by the program: the system lets go of it when the holder ends,
// however it ends (killed, crashed), and the next acquisition then succeeds. Holding is per
// process: acquiring a name that this process already holds succeeds again, from any thread.
//   - Windows: a named mutex (no security attributes, not initially owned), waited on without a
//     time-out; only a time-out means that another process holds it, so a mutex abandoned by a
//     holder that ended counts as acquired. The name follows the kernel's object name rules.
//   - POSIX: an exclusive flock on the file "<name>.lock" in $XDG_RUNTIME_DIR when that is set
//     to an absolute path, else on "/tmp/<name>-<user id>.lock"; the file is created when
//     missing and never deleted. It must be a regular file of the calling user: a file another
//     user planted there is an error (so the caller runs) and cannot hold the guard against it.
//     A name holding "/" or a NUL byte is an error too.
#pragma once

#include <string>

namespace platform {

// Whether this process may run: true when it now holds the guard `name` (or already did), or
// when the guard cannot be checked; false only when another process holds it.
bool AcquireInstanceGuard(const std::string& name);

// The guard of one directory, whoever runs there (other users and other sessions too, which
// the guard above does not see): an exclusive lock on the file `lockPath` (a "\" path), created
// when missing and never deleted, held until the process ends; no child process inherits it.
// Only a process that may write the directory can hold it: a user who may only read the
// directory must not be able to stop every update by holding the lock.
//   - POSIX: flock on the file opened for reading and writing without following a link, created
//     0600. It must be a regular file of the calling user; one that others may read or write (an
//     older updater made it 0644) is replaced by a private one once this process holds it, so
//     that a process that opened it while it was open to all holds nothing that counts.
//   - Windows: the file opened for reading and writing with no sharing at all, not through a
//     reparse point; a second open anywhere then fails. A sharing violation that lasts about
//     two seconds (longer than a scanner's look) cannot tell another session's updater from a
//     program that keeps the file open: the lock cannot be taken.
enum class DirectoryGuard {
  kTaken,          // this process holds it from now on
  kHeldElsewhere,  // a process that may hold it does (POSIX: another updater of this user, or
                   // of the administrator): another update runs in the directory
  kNotCreatable,   // the file is missing and this user may not create it there: a user who
                   // cannot write the directory cannot change it either
  kRefused,        // it cannot be taken (another user's file, a link, a holder that may not hold
                   // it, a failed open); `why` says why, for a person
};
DirectoryGuard AcquireDirectoryGuard(const std::string& lockPath, std::string* why = nullptr);

}  // namespace platform
