// Files in use on Windows: Restart Manager names the processes holding a file, an open as a
// rename opens says whether one may rename it now, and the handles of given processes say
// whether they hold it.
#include <windows.h>
// <restartmanager.h> needs <windows.h> first.
#include <restartmanager.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/files_in_use.h"
#include "platform/files_internal.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// A list that keeps growing between two calls of RmGetList is asked for again this often.
constexpr int kListTries = 4;
// Without the system's list of handles, a process's handle values (multiples of 4 from 4 on)
// are tried one by one until this many in a row name nothing: a handle table is filled from its
// lowest free entry.
constexpr ULONG_PTR kHandleGap = 4096;
// A look at the handles of a process that takes longer waits on one of them: it says nothing.
constexpr auto kHoldLookTime = std::chrono::seconds(10);

// Which file a handle holds: the volume serial number and the file index.
struct FileIdentity {
  DWORD Volume = 0;
  DWORD IndexHigh = 0;
  DWORD IndexLow = 0;
  bool operator==(const FileIdentity&) const = default;
};

bool IdentityOf(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  *identity = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return true;
}

// One entry of the system's list of every open handle (SystemExtendedHandleInformation, 64).
struct SystemHandleEntry {
  PVOID Object;
  ULONG_PTR ProcessId;
  ULONG_PTR HandleValue;
  ULONG GrantedAccess;
  USHORT CreatorBackTraceIndex;
  USHORT ObjectTypeIndex;
  ULONG HandleAttributes;
  ULONG Reserved;
};
struct SystemHandleList {
  ULONG_PTR NumberOfHandles;
  ULONG_PTR Reserved;
  SystemHandleEntry Handles[1];
};
using QuerySystemFunction = LONG(WINAPI*)(ULONG informationClass, PVOID information, ULONG length,
                                          PULONG returned);

// The handle values that the processes `ids` hold, of the object type of this process's handle
// `sample` (a file); false when the system does not give its list.
bool ListedHandles(const std::vector<int>& ids, HANDLE sample,
                   std::vector<std::pair<DWORD, ULONG_PTR>>* handles) {
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  const auto query = reinterpret_cast<QuerySystemFunction>(
      reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
  if (query == nullptr) return false;
  std::vector<unsigned char> buffer(1 << 20);
  for (;;) {
    ULONG returned = 0;
    const LONG status = query(64, buffer.data(), static_cast<ULONG>(buffer.size()), &returned);
    if (status == 0) break;
    // STATUS_INFO_LENGTH_MISMATCH: the list grew; any other status: there is none.
    if (static_cast<ULONG>(status) != 0xC0000004u || buffer.size() >= (256u << 20)) return false;
    buffer.resize(buffer.size() * 2);
  }
  const auto* list = reinterpret_cast<const SystemHandleList*>(buffer.data());
  const size_t room =
      (buffer.size() - offsetof(SystemHandleList, Handles)) / sizeof(SystemHandleEntry);
  const size_t count = std::min<size_t>(list->NumberOfHandles, room);
  int fileType = -1;
  for (size_t i = 0; i < count; ++i) {
    const SystemHandleEntry& entry = list->Handles[i];
    if (entry.ProcessId == GetCurrentProcessId() &&
        entry.HandleValue == reinterpret_cast<ULONG_PTR>(sample)) {
      fileType = entry.ObjectTypeIndex;
    }
  }
  for (size_t i = 0; i < count; ++i) {
    const SystemHandleEntry& entry = list->Handles[i];
    if ((fileType < 0 || entry.ObjectTypeIndex == fileType) &&
        std::find(ids.begin(), ids.end(), static_cast<int>(entry.ProcessId)) != ids.end()) {
      handles->emplace_back(static_cast<DWORD>(entry.ProcessId), entry.HandleValue);
    }
  }
  return true;
}

// Whether the handle `value` of `process` holds `file`, asked of a duplicate in this process,
// a disk file's only for its identity. Nothing: the value names no handle there.
std::optional<bool> HandleHolds(HANDLE process, ULONG_PTR value, const FileIdentity& file) {
  HANDLE copy = nullptr;
  if (!DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    return std::nullopt;
  }
  FileIdentity other;
  const bool same =
      GetFileType(copy) == FILE_TYPE_DISK && IdentityOf(copy, &other) && other == file;
  CloseHandle(copy);
  return same;
}

// Whether process `id` has the file open: the listed handles when `listed`, else its handle
// values tried in order.
HeldBy ProcessHolds(DWORD id, const FileIdentity& file, const std::vector<ULONG_PTR>* listed) {
  const HANDLE process = OpenProcess(PROCESS_DUP_HANDLE, FALSE, id);
  if (process == nullptr) return HeldBy::kUnknown;
  bool held = false;
  if (listed != nullptr) {
    for (size_t i = 0; i < listed->size() && !held; ++i) {
      held = HandleHolds(process, (*listed)[i], file).value_or(false);
    }
  } else {
    ULONG_PTR missed = 0;
    for (ULONG_PTR value = 4; missed < kHandleGap && !held; value += 4) {
      const std::optional<bool> holds = HandleHolds(process, value, file);
      missed = holds.has_value() ? 0 : missed + 1;
      held = holds.value_or(false);
    }
  }
  CloseHandle(process);
  return held ? HeldBy::kYes : HeldBy::kNo;
}

// The answer of a look that runs in a thread of its own, which may outlive the question.
struct HoldLook {
  std::mutex Mutex;
  std::condition_variable Done;
  bool Finished = false;
  HeldBy Answer = HeldBy::kNo;
};

std::string Utf8(const wchar_t* text, size_t capacity) {
  return internal::ToUtf8(text, wcsnlen(text, capacity));
}

// The executable of the process that the session saw: the id alone could have been reused since
// by another program, so the start time has to agree as well.
std::string ExecutableOf(const RM_UNIQUE_PROCESS& process) {
  const HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process.dwProcessId);
  if (handle == nullptr) return "";
  std::string executable;
  FILETIME created{};
  FILETIME exited{};
  FILETIME kernel{};
  FILETIME user{};
  if (GetProcessTimes(handle, &created, &exited, &kernel, &user) &&
      CompareFileTime(&created, &process.ProcessStartTime) == 0) {
    std::vector<wchar_t> buffer(32768);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (QueryFullProcessImageNameW(handle, 0, buffer.data(), &size)) {
      executable = internal::ToUtf8(buffer.data(), size);
    }
  }
  CloseHandle(handle);
  return executable;
}

// Ends a Restart Manager session however the questions in it went.
class Session {
 public:
  Session() {
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    started_ = RmStartSession(&handle_, 0, key) == ERROR_SUCCESS;
  }
  ~Session() {
    if (started_) (void)RmEndSession(handle_);  // nothing is left to do about a failed end
  }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  bool Started() const { return started_; }
  DWORD Handle() const { return handle_; }

 private:
  DWORD handle_ = 0;
  bool started_ = false;
};

std::vector<FileHolder> HoldersOf(const std::string& path) {
  std::wstring wide;
  if (!internal::ToWide(path, &wide)) return {};
  // A session of its own for each file: the list of a session is of all its files together.
  Session session;
  if (!session.Started()) return {};
  LPCWSTR files[] = {wide.c_str()};
  if (RmRegisterResources(session.Handle(), 1, files, 0, nullptr, 0, nullptr) != ERROR_SUCCESS) {
    return {};
  }
  std::vector<RM_PROCESS_INFO> found;
  for (int attempt = 0; attempt < kListTries; ++attempt) {
    UINT needed = 0;
    UINT count = static_cast<UINT>(found.size());
    DWORD reasons = 0;
    const DWORD result = RmGetList(session.Handle(), &needed, &count,
                                   found.empty() ? nullptr : found.data(), &reasons);
    if (result == ERROR_SUCCESS) {
      found.resize(count);
      break;
    }
    found.clear();
    if (result != ERROR_MORE_DATA) break;
    // A few more than asked for: holders come and go between the two calls.
    found.resize(needed + 4);
  }
  std::vector<FileHolder> holders;
  for (const RM_PROCESS_INFO& info : found) {
    holders.push_back({Utf8(info.strAppName, CCH_RM_MAX_APP_NAME + 1),
                       static_cast<int>(info.Process.dwProcessId), ExecutableOf(info.Process)});
  }
  return holders;
}

}  // namespace

std::vector<std::vector<FileHolder>> FileHolders(const std::vector<std::string>& paths) {
  std::vector<std::vector<FileHolder>> holders;
  holders.reserve(paths.size());
  for (const std::string& path : paths) holders.push_back(HoldersOf(path));
  return holders;
}

RenameProbe ProbeRename(const std::string& path) {
  std::wstring wide;
  if (!internal::ToWide(path, &wide)) {
    internal::RecordError("probe rename", path, ERROR_INVALID_NAME);
    return RenameProbe::kUnknown;
  }
  // The access and sharing a rename asks for: DELETE, and room for every other opener, so that
  // only a holder that denies deletion stands in the way. The link itself is what a rename moves.
  const HANDLE handle = CreateFileW(
      wide.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return RenameProbe::kFree;
  }
  const DWORD code = GetLastError();
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return RenameProbe::kFree;
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return RenameProbe::kHeld;
    default:
      internal::RecordError("probe rename", path, static_cast<int>(code));
      return RenameProbe::kUnknown;
  }
}

HeldBy ProcessesHoldFile(const std::vector<int>& ids, const std::string& path) {
  std::wstring wide;
  if (!internal::ToWide(path, &wide)) return HeldBy::kUnknown;
  // Attributes only, which no sharing mode refuses.
  const HANDLE handle = CreateFileW(
      wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? HeldBy::kNo
                                                                        : HeldBy::kUnknown;
  }
  FileIdentity file;
  const bool known = IdentityOf(handle, &file);
  std::vector<std::pair<DWORD, ULONG_PTR>> handles;
  const bool listed = known && ListedHandles(ids, handle, &handles);
  CloseHandle(handle);
  if (!known) return HeldBy::kUnknown;
  // A query on a duplicate waits while its owner waits on the handle (a pipe read): the look
  // runs apart, and a look that does not end in time is left to end by itself.
  const auto look = std::make_shared<HoldLook>();
  std::thread([look, ids, file, listed, handles] {
    HeldBy answer = HeldBy::kNo;
    for (const int id : ids) {
      std::vector<ULONG_PTR> values;
      for (const auto& [owner, value] : handles) {
        if (owner == static_cast<DWORD>(id)) values.push_back(value);
      }
      const HeldBy held = ProcessHolds(static_cast<DWORD>(id), file, listed ? &values : nullptr);
      if (held != HeldBy::kNo) answer = held;
      if (held == HeldBy::kYes) break;
    }
    const std::lock_guard<std::mutex> lock(look->Mutex);
    look->Answer = answer;
    look->Finished = true;
    look->Done.notify_all();
  }).detach();
  std::unique_lock<std::mutex> lock(look->Mutex);
  if (!look->Done.wait_for(lock, kHoldLookTime, [&] { return look->Finished; })) {
    return HeldBy::kUnknown;
  }
  return look->Answer;
}

bool IsPassingLock(int code, const std::string& path) {
  if (code == ERROR_SHARING_VIOLATION || code == ERROR_LOCK_VIOLATION) return true;
  if (code != ERROR_ACCESS_DENIED) return false;
  std::wstring wide;
  if (!internal::ToWide(path, &wide)) return false;
  // Asked of the system directly: the file layer's query would record a failure of its own.
  const DWORD attributes = GetFileAttributesW(wide.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

}  // namespace platform
