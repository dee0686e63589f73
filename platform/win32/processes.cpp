// Process search and termination on Windows: a Toolhelp process snapshot, matched by name,
// WM_CLOSE to ask the matches to close and TerminateProcess to end them.
#include <windows.h>
// <tlhelp32.h> needs <windows.h> first.
#include <tlhelp32.h>

#include <algorithm>
#include <functional>
#include <vector>

// Included after <windows.h> on purpose: it proves that no name of the header is a macro there.
#include "platform/process_name_match.h"
#include "platform/processes.h"
#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// The wide forms of the snapshot functions: names outside the user's ANSI code page come out
// intact, and as UTF-8 the separator search of the matching rule is exact. The 8-bit forms
// would hand over names in the ANSI code page, where an unrepresentable character becomes "?".
using CreateSnapshotFunction = HANDLE(WINAPI*)(DWORD flags, DWORD processId);
using WalkFunction = BOOL(WINAPI*)(HANDLE snapshot, PROCESSENTRY32W* entry);

struct Toolhelp {
  CreateSnapshotFunction createSnapshot = nullptr;
  WalkFunction first = nullptr;
  WalkFunction next = nullptr;
};

// GetProcAddress gives a generic function pointer; going through void(*)() tells the compiler
// that the cast to the real type is meant.
template <typename Function>
Function Lookup(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// Looked up by name once, on first use. When any of them is missing, none is used, and the
// listing is empty.
const Toolhelp& ToolhelpFunctions() {
  static const Toolhelp functions = [] {
    Toolhelp found;
    const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return found;
    found.createSnapshot = Lookup<CreateSnapshotFunction>(kernel, "CreateToolhelp32Snapshot");
    found.first = Lookup<WalkFunction>(kernel, "Process32FirstW");
    found.next = Lookup<WalkFunction>(kernel, "Process32NextW");
    if (found.createSnapshot == nullptr || found.first == nullptr || found.next == nullptr) {
      return Toolhelp();
    }
    return found;
  }();
  return functions;
}

// Calls `visit` with the id of every matching process in snapshot order until it returns false.
void ForEachMatch(const std::string& name, const std::function<bool(DWORD)>& visit) {
  const Toolhelp& toolhelp = ToolhelpFunctions();
  if (toolhelp.createSnapshot == nullptr) return;
  const HANDLE snapshot = toolhelp.createSnapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  // The record's size is this build's own: 568 bytes for the wide form on x86-64.
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL fetched = toolhelp.first(snapshot, &entry); fetched;
       fetched = toolhelp.next(snapshot, &entry)) {
    const size_t length = wcsnlen(entry.szExeFile, MAX_PATH);
    if (ProcessNameMatches(internal::ToUtf8(entry.szExeFile, length), name) &&
        !visit(entry.th32ProcessID)) {
      break;
    }
  }
  CloseHandle(snapshot);
}

// Posts WM_CLOSE to each visible top-level window of the processes `ids`; counts the posts.
struct CloseRequest {
  const std::vector<DWORD>* ids;
  int posted = 0;
};

BOOL CALLBACK PostCloseToWindow(HWND window, LPARAM lParam) {
  auto* request = reinterpret_cast<CloseRequest*>(lParam);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  // A main window, as a person sees it: visible and owned by no other window. Hidden helper
  // windows are left alone: closing them would break the program without ending it.
  if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr ||
      std::find(request->ids->begin(), request->ids->end(), processId) == request->ids->end()) {
    return TRUE;
  }
  if (PostMessageW(window, WM_CLOSE, 0, 0)) ++request->posted;
  return TRUE;
}

}  // namespace

int FindProcessID(const std::string& name) {
  int found = 0;
  ForEachMatch(name, [&](DWORD id) {
    found = static_cast<int>(id);
    return false;
  });
  return found;
}

std::vector<int> FindProcessIDs(const std::string& name) {
  std::vector<int> found;
  ForEachMatch(name, [&](DWORD id) {
    found.push_back(static_cast<int>(id));
    return true;
  });
  return found;
}

bool KillProcessByName(const std::string& name) {
  bool result = false;
  ForEachMatch(name, [&](DWORD id) {
    const HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, id);
    if (process == nullptr) {
      result = false;
    } else {
      result = TerminateProcess(process, 0) != 0;
      CloseHandle(process);
    }
    return true;
  });
  return result;
}

bool AskProcessesToClose(const std::string& name) {
  std::vector<DWORD> ids;
  for (const int id : FindProcessIDs(name)) ids.push_back(static_cast<DWORD>(id));
  if (ids.empty()) return false;
  CloseRequest request{&ids};
  EnumWindows(PostCloseToWindow, reinterpret_cast<LPARAM>(&request));
  return request.posted > 0;
}

std::string ProcessUserName(int id) {
  const HANDLE process =
      OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(id));
  if (process == nullptr) return "";
  HANDLE token = nullptr;
  const bool opened = OpenProcessToken(process, TOKEN_QUERY, &token) != FALSE;
  CloseHandle(process);
  if (!opened) return "";
  std::vector<BYTE> buffer(512);
  DWORD size = 0;
  const bool known = GetTokenInformation(token, TokenUser, buffer.data(),
                                         static_cast<DWORD>(buffer.size()), &size) != FALSE;
  CloseHandle(token);
  if (!known) return "";
  const SID* sid = static_cast<const SID*>(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid);
  wchar_t name[256];
  wchar_t domain[256];
  DWORD nameLength = 256;
  DWORD domainLength = 256;
  SID_NAME_USE use;
  if (!LookupAccountSidW(nullptr, const_cast<SID*>(sid), name, &nameLength, domain, &domainLength,
                         &use)) {
    return "";
  }
  const std::string user = internal::ToUtf8(name, nameLength);
  const std::string where = internal::ToUtf8(domain, domainLength);
  return where.empty() ? user : where + "\\" + user;
}

}  // namespace platform
