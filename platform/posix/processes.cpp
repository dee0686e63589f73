// Process search and termination on POSIX, over /proc: the executable of every listed process,
// matched by name, SIGTERM to ask the matches to close and SIGKILL to end them.
#include "platform/processes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <csignal>
#include <functional>
#include <vector>

#include "platform/posix/user_name.h"
#include "platform/process_name_match.h"

namespace platform {
namespace {

// Bound on what is read from one /proc file or link: far above any real path, and a guard
// against a command line that would otherwise be read whole.
constexpr size_t kMaxText = 64 * 1024;

std::string SystemForm(std::string text) {
  std::replace(text.begin(), text.end(), '/', '\\');
  return text;
}

// The process ids listed in /proc, in ascending order.
std::vector<int> ProcessIds() {
  std::vector<int> ids;
  DIR* dir = opendir("/proc");
  if (dir == nullptr) return ids;
  while (const dirent* entry = readdir(dir)) {
    const char* name = entry->d_name;
    long id = 0;
    bool digits = name[0] != '\0';
    for (const char* p = name; *p != '\0' && digits; ++p) {
      digits = *p >= '0' && *p <= '9' && id <= INT_MAX / 10;
      id = id * 10 + (*p - '0');
    }
    if (digits && id > 0 && id <= INT_MAX) ids.push_back(static_cast<int>(id));
  }
  closedir(dir);
  std::sort(ids.begin(), ids.end());
  return ids;
}

// The start of a /proc file, up to kMaxText bytes, stopping early once `stop` has been read;
// empty when it cannot be read (the process has gone, or the file is another user's).
std::string ReadProcFile(const std::string& path, char stop) {
  std::string text;
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return text;
  char buffer[4096];
  while (text.size() < kMaxText && text.find(stop) == std::string::npos) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}

std::string ReadLink(const std::string& path) {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
    if (n < 0) return "";
    if (static_cast<size_t>(n) < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= kMaxText) return "";
    buffer.resize(buffer.size() * 2);
  }
}

// Whether the process has ended: its entry is gone, or it is a zombie (or past that, dead)
// waiting for its parent to collect it.
bool HasEnded(int id) {
  const std::string stat = ReadProcFile("/proc/" + std::to_string(id) + "/stat", '\n');
  // "pid (comm) state ...": the short name may hold blanks and parentheses, the last ")" ends it.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return true;
  const char state = stat[close + 2];
  return state == 'Z' || state == 'X';
}

// The executable text of a process in the system's form; empty when none can be read.
std::string ExecutableText(int id) {
  const std::string dir = "/proc/" + std::to_string(id);
  // The link of another user's process is unreadable (EACCES), that of a kernel thread empty.
  std::string text = ReadLink(dir + "/exe");
  static constexpr std::string_view kDeleted = " (deleted)";
  if (text.size() > kDeleted.size() && text.ends_with(kDeleted)) {
    text.resize(text.size() - kDeleted.size());
  }
  if (text.empty()) {
    text = ReadProcFile(dir + "/cmdline", '\0');
    text.resize(std::min(text.find('\0'), text.size()));
  }
  if (text.empty()) {
    text = ReadProcFile(dir + "/comm", '\n');
    text.resize(std::min(text.find('\n'), text.size()));
  }
  return SystemForm(text);
}

bool IsMatch(int id, const std::string& name) {
  if (HasEnded(id)) return false;
  const std::string text = ExecutableText(id);
  return !text.empty() && ProcessNameMatches(text, name);
}

// Calls `visit` with every matching process in ascending order until it returns false.
void ForEachMatch(const std::string& name, const std::function<bool(int)>& visit) {
  if (name.empty()) return;
  const std::string wanted = SystemForm(name);
  for (const int id : ProcessIds()) {
    if (IsMatch(id, wanted) && !visit(id)) return;
  }
}

// A pidfd names one process for good, while a bare process id may already belong to a newer
// process by the time the signal is sent. Checking the match again after taking the pidfd makes
// the signal reach the process that was matched, or nobody.
bool SendSignal(int id, const std::string& name, int signal) {
#if defined(SYS_pidfd_open) && defined(SYS_pidfd_send_signal)
  const long pidfd = syscall(SYS_pidfd_open, id, 0);
  if (pidfd >= 0) {
    const bool sent = IsMatch(id, name) && syscall(SYS_pidfd_send_signal, static_cast<int>(pidfd),
                                                   signal, nullptr, 0) == 0;
    ::close(static_cast<int>(pidfd));
    return sent;
  }
  // ESRCH: ended since the listing. Anything else (an old kernel, a sandbox that forbids the
  // call) leaves the plain signal.
  if (errno == ESRCH) return false;
#endif
  return IsMatch(id, name) && kill(id, signal) == 0;
}

}  // namespace

int FindProcessID(const std::string& name) {
  int found = 0;
  ForEachMatch(name, [&](int id) {
    found = id;
    return false;
  });
  return found;
}

std::vector<int> FindProcessIDs(const std::string& name) {
  std::vector<int> found;
  ForEachMatch(name, [&](int id) {
    found.push_back(id);
    return true;
  });
  return found;
}

bool KillProcessByName(const std::string& name) {
  bool result = false;
  const std::string wanted = SystemForm(name);
  ForEachMatch(name, [&](int id) {
    result = SendSignal(id, wanted, SIGKILL);
    return true;
  });
  return result;
}

bool AskProcessesToClose(const std::string& name) {
  bool asked = false;
  // Not the last one alone: any request that reached a process counts.
  const std::string wanted = SystemForm(name);
  ForEachMatch(name, [&](int id) {
    asked = SendSignal(id, wanted, SIGTERM) || asked;
    return true;
  });
  return asked;
}

std::string ProcessUserName(int id) {
  struct stat info;
  if (id <= 0 || stat(("/proc/" + std::to_string(id)).c_str(), &info) != 0) return "";
  return internal::UserNameOf(info.st_uid);
}

}  // namespace platform
