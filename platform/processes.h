// Finding running processes by the name of their executable, asking them to close and
// terminating them, with one contract for Windows (platform/win32) and POSIX (platform/posix).
//
// Every process the system lists is looked at, whoever runs it; one whose executable matches the
// name by ProcessNameMatches (platform/process_name_match.h) counts. What a process's executable
// text is depends on the system:
//   - Windows: the executable's file name from a process snapshot (no directory), converted
//     from UTF-16 to UTF-8.
//   - POSIX (/proc): the executable's full path where it can be read (a file replaced or deleted
//     since the start still counts under its old path), else the first word of the command line,
//     else the kernel's short name of the process. The text is reported in the system's form,
//     "/" turned into "\"; `name` gets the same treatment, so a full path matches whichever
//     separator it is written with. A process that has ended but was not yet collected by its
//     parent (a zombie) is gone: it is neither found nor terminated.
//
// None of these calls reports a failure: a process listing that cannot be taken lists nothing, and
// a process that cannot be opened or terminated (another user's, for example) is passed over. The
// calling process is not left out: a name that matches the caller's own executable terminates the
// caller too. Callers that might name themselves must check before.
#pragma once

#include <string>
#include <vector>

namespace platform {

// The identifier of the first matching process in the listing's order (ascending process id on
// POSIX); 0 when none matches.
int FindProcessID(const std::string& name);

// The identifiers of every matching process, in the listing's order; empty when none matches.
std::vector<int> FindProcessIDs(const std::string& name);

// Requests termination of every matching process (TerminateProcess with exit code 0 on Windows,
// SIGKILL on POSIX) and returns at once, without waiting for any of them to be gone. The result
// is whether the last termination request succeeded; false when nothing matched.
bool KillProcessByName(const std::string& name);

// Asks every matching process to close as a person closing it would, and returns at once: SIGTERM
// on POSIX (a process that has not set a handler ends at once, one that has may save first, one
// that ignores it runs on); on Windows WM_CLOSE posted to each visible top-level window that
// the process owns (a process without one is not asked). True when at least one request was
// sent; false when nothing matched or no request could be sent.
bool AskProcessesToClose(const std::string& name);

// The name of the user who runs process `id`, for a person to read ("alice", "DOMAIN\\alice");
// empty when the system does not say (the process has ended, or this user may not ask).
std::string ProcessUserName(int id);

}  // namespace platform
