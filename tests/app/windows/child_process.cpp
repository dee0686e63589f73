// Starting, waiting for and terminating the processes of the Windows end-to-end tests.
#include "app/windows/child_process.h"

#include <chrono>
#include <cwchar>
#include <cwctype>
#include <thread>

#include "app/windows/wide_text.h"
#include "platform/launch.h"
#include "support/child_processes.h"

namespace test {
namespace {

bool SameName(const std::wstring& setting, const std::wstring& name) {
  // Environment names are case-insensitive on Windows.
  if (setting.size() <= name.size() || setting[name.size()] != L'=') return false;
  for (size_t i = 0; i < name.size(); ++i) {
    if (std::towupper(setting[i]) != std::towupper(name[i])) return false;
  }
  return true;
}

// This process's environment with `changes` applied, as the double-NUL-terminated block that
// CreateProcessW takes.
std::vector<wchar_t> EnvironmentBlock(
    const std::vector<std::pair<std::string, std::string>>& changes) {
  std::vector<std::wstring> settings;
  if (wchar_t* strings = GetEnvironmentStringsW()) {
    for (const wchar_t* s = strings; *s != L'\0'; s += wcslen(s) + 1) settings.emplace_back(s);
    FreeEnvironmentStringsW(strings);
  }
  for (const auto& [name, value] : changes) {
    const std::wstring wideName = Wide(name);
    std::erase_if(settings, [&](const std::wstring& s) { return SameName(s, wideName); });
    settings.push_back(wideName + L"=" + Wide(value));
  }
  std::vector<wchar_t> block;
  for (const std::wstring& s : settings) {
    block.insert(block.end(), s.begin(), s.end());
    block.push_back(L'\0');
  }
  block.push_back(L'\0');
  return block;
}

}  // namespace

ChildProcess::~ChildProcess() {
  // Nothing to report to in a destructor: a process that outlives the bound is left to the
  // test's own checks.
  (void)Terminate();
  if (process_ != nullptr) CloseHandle(process_);
}

bool ChildProcess::Start(const std::string& program, const std::string& argument,
                         const std::vector<std::pair<std::string, std::string>>& environment) {
  const std::wstring application = Wide(program);
  const std::string line =
      argument.empty() ? "\"" + program + "\"" : platform::ProgramCommandLine(program, argument);
  std::wstring commandLine = Wide(line);
  std::vector<wchar_t> block = EnvironmentBlock(environment);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                      CREATE_UNICODE_ENVIRONMENT, block.data(), nullptr, &startup, &started)) {
    return false;
  }
  CloseHandle(started.hThread);
  process_ = started.hProcess;
  id_ = started.dwProcessId;
  return true;
}

bool ChildProcess::Running() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(const std::function<void()>& whileWaiting) {
  if (process_ == nullptr) return std::nullopt;
  const auto deadline = std::chrono::steady_clock::now() + kProcessWait;
  while (WaitForSingleObject(process_, 20) == WAIT_TIMEOUT) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    if (whileWaiting) whileWaiting();
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  return code;
}

bool ChildProcess::Terminate() {
  if (!Running()) return true;
  TerminateProcess(process_, 1);
  // Gone only when the system says so: a process still ending holds its files and its guard.
  return WaitForExit().has_value();
}

}  // namespace test
