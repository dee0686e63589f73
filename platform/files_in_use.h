// Files that other programs hold open: who holds them, whether a file can be renamed now, and
// whether a failed rename waits on a lock that passes. One contract for Windows (platform/win32)
// and POSIX (platform/posix).
//
// Windows refuses to rename a file while another process has it open without FILE_SHARE_DELETE
// (a virus scanner looking at it, a preview pane, a helper process of the program); POSIX
// renames a file whatever holds it open. None of these calls records a failure in LastError()
// (platform/files.h) except where it says so, so that a caller may ask them right after a failed
// rename and still report that rename's own error.
#pragma once

#include <string>
#include <vector>

namespace platform {

// A process that holds a file open, as far as the system can say.
struct FileHolder {
  std::string Name;  // the application's name for a person ("Helper"); may be empty
  int ProcessId = 0;
  std::string Executable;  // full path of its executable (system form); empty when unknown
};

// The holders of each of `paths` (full paths, system form) that the system can name, one list per
// path in the same order. An empty list says nothing: the file may still be held by a process the
// system does not name.
//   - Windows: Restart Manager, one session per file (RmStartSession, RmRegisterResources with
//     the file, RmGetList, RmEndSession): strAppName and the process id, and the executable of
//     that process where it can be opened and is still the one the session saw (same start
//     time). A session that cannot be made names nobody.
//   - POSIX: nobody, ever (lists are empty).
std::vector<std::vector<FileHolder>> FileHolders(const std::vector<std::string>& paths);

enum class RenameProbe {
  kFree,     // nothing stands in the way of a rename as far as locks go, or the file is missing
  kHeld,     // another process holds the file so that it cannot be renamed now
  kUnknown,  // the probe failed for another reason, recorded in LastError() ("probe rename")
};

// Whether `path` (system form; a file, or a symbolic link itself) could be renamed now.
//   - Windows: opens it as a rename does (DELETE access, sharing read, write and delete, the link
//     itself rather than its target) and closes it at once. A sharing or lock violation is
//     kHeld; a missing file or directory on the way is kFree (nothing to rename); any other
//     failure (no right to the file, say) is kUnknown: it is not a lock, and the rename itself
//     will say why it fails.
//   - POSIX: always kFree (no mandatory locks stand in a rename's way).
RenameProbe ProbeRename(const std::string& path);

enum class HeldBy {
  kYes,      // one of the processes has the file open
  kNo,       // none of them has
  kUnknown,  // the system could not say for one of them (another user's process, say)
};

// Whether any of the processes `ids` has the file `path` (system form) open: the question that
// FileHolders cannot answer when the system names nobody.
//   - Windows: the handles of each process, as the system's list of open handles names them
//     (NtQuerySystemInformation, extended handle information; only those of a file's object
//     type), or where it gives none, its handle values tried in order until 4096 in a row name
//     nothing; each is duplicated into this process and compared there, by volume serial number
//     and file index, with the file, so the process itself is not disturbed. A process that
//     cannot be opened to duplicate its handles, or a look that takes longer than 10 seconds (a
//     handle whose owner waits on it), leaves kUnknown.
//   - POSIX: the entries of /proc/<id>/fd, compared by device and inode number; a process whose
//     entries cannot be read leaves kUnknown.
HeldBy ProcessesHoldFile(const std::vector<int>& ids, const std::string& path);

// Whether a rename or replace of `path` (system form, the file being moved) that failed with the
// OS error `code` waited on a lock that passes once its holder lets go, so that trying again
// later may succeed.
//   - Windows: ERROR_SHARING_VIOLATION (32) and ERROR_LOCK_VIOLATION (33); and
//     ERROR_ACCESS_DENIED (5) when `path` is an existing file (not a directory) without the
//     read-only attribute, which is how a file mapped or delete-pending in another process
//     refuses. A real lack of rights on such a file is then waited on too: it costs the caller
//     its wait and ends in the same failure. A read-only file's refusal is its attribute, which
//     waiting does not change.
//   - POSIX: never. rename(2) knows no sharing locks; EBUSY says a mount point or a directory
//     that the system itself uses, and ETXTBSY does not stop a rename: neither passes by waiting.
bool IsPassingLock(int code, const std::string& path);

}  // namespace platform
