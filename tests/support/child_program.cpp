// A stand-in for the main program in the platform tests: it records how it was started, may take
// the single-instance guard, and then either ends or stays until it is killed.
//
// Environment: UPDATE_CHILD_RECORD names the file (system form) that receives the arguments, one
// per line, followed by "guard acquired" or "guard refused" when the guard was tried; it appears
// whole or not at all. UPDATE_CHILD_GUARD names the guard.
// Argument: "-stay" stays; "-guard" tries the guard and ends; "-guard-stay" tries it and stays;
// "-save-and-exit" waits until the file that UPDATE_CHILD_SAVE_WHEN_GONE names is gone (the
// updater's hand-over file, removed when its checks are done), then UPDATE_CHILD_SAVE_MS
// milliseconds more, writes "saved" into the file that UPDATE_CHILD_SAVE names and ends;
// With UPDATE_CHILD_RESULT set, the record adds the first two lines of "update.result" in the
// current directory as the program found it when it started ("update.result: none" without one);
// "-stay-ignoring-close" ignores SIGTERM and stays; "-stay-closing" stays until SIGTERM asks it to
// close, then writes "closed when asked" into the file that UPDATE_CHILD_CLOSED names and ends;
// "-hold" opens the file that UPDATE_CHILD_HOLD names (system form) for reading, sharing reading
// only (so that no other process may rename or delete it on Windows), records "holding" (or
// "hold refused"), keeps it open as long as "-stay" stays, then closes it and ends; anything else
// ends at once.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "platform/files.h"
#include "platform/instance_guard.h"

namespace {

namespace fs = std::filesystem;

fs::path NativeForm(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = static_cast<char>(fs::path::preferred_separator);
  }
  return fs::path(path);
}

volatile std::sig_atomic_t askedToClose = 0;

extern "C" void OnAskedToClose(int) {
  askedToClose = 1;
}

void Record(const std::string& text) {
  const char* record = std::getenv("UPDATE_CHILD_RECORD");
  if (record == nullptr || record[0] == '\0') return;
  const fs::path target = NativeForm(record);
  fs::path part = target;
  part += ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << text;
  }
  std::error_code ignored;
  fs::rename(part, target, ignored);
}

}  // namespace

int main(int argc, char** argv) {
  // Let go of the test runner's output at once: a runner waits for every holder of its pipe.
  std::fclose(stdin);
  std::fclose(stdout);
  std::fclose(stderr);

  const std::string mode = argc > 1 ? argv[1] : "";
  std::string text;
  for (int i = 1; i < argc; ++i) text += std::string(argv[i]) + "\n";
  if (std::getenv("UPDATE_CHILD_RESULT") != nullptr) {
    std::ifstream result("update.result", std::ios::binary);
    std::string first;
    std::string second;
    if (!std::getline(result, first)) first = "none";
    std::getline(result, second);
    text += "update.result: " + first + (second.empty() ? "" : " / " + second) + "\n";
  }
  if (mode == "-guard" || mode == "-guard-stay") {
    const char* guard = std::getenv("UPDATE_CHILD_GUARD");
    const bool acquired = platform::AcquireInstanceGuard(guard != nullptr ? guard : "");
    text += acquired ? "guard acquired\n" : "guard refused\n";
  }
  // As long as a test may run (CTest's bound), short enough that a failed test leaves nothing for
  // long: a program that stays must not end while a slow test still looks at it.
  constexpr std::chrono::milliseconds kStay = std::chrono::seconds(300);
  if (mode == "-hold") {
    const char* path = std::getenv("UPDATE_CHILD_HOLD");
    platform::File held = platform::File::Open(path != nullptr ? path : "",
                                               platform::kOpenRead | platform::kShareDenyWrite);
    Record(text + (held.IsOpen() ? "holding\n" : "hold refused\n"));
    if (!held.IsOpen()) return 1;
    std::this_thread::sleep_for(kStay);
    return 0;
  }
  // Before the record: whoever waits for it may ask at once.
  if (mode == "-stay-ignoring-close") std::signal(SIGTERM, SIG_IGN);
  if (mode == "-stay-closing") std::signal(SIGTERM, OnAskedToClose);
  Record(text);
  if (mode == "-stay" || mode == "-guard-stay" || mode == "-stay-ignoring-close") {
    std::this_thread::sleep_for(kStay);
  }
  if (mode == "-stay-closing") {
    const auto end = std::chrono::steady_clock::now() + kStay;
    while (askedToClose == 0 && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (const char* closed = std::getenv("UPDATE_CHILD_CLOSED"); askedToClose != 0 && closed) {
      std::ofstream(NativeForm(closed), std::ios::binary) << "closed when asked\n";
    }
  }
  if (mode == "-save-and-exit") {
    // A program that started its updater and still saves its state before it ends: it saves
    // while the updater waits for it to end.
    if (const char* until = std::getenv("UPDATE_CHILD_SAVE_WHEN_GONE")) {
      std::error_code error;
      const auto deadline = std::chrono::steady_clock::now() + kStay;
      while (fs::exists(NativeForm(until), error) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
    const char* milliseconds = std::getenv("UPDATE_CHILD_SAVE_MS");
    std::this_thread::sleep_for(std::chrono::milliseconds(
        milliseconds != nullptr ? std::min(std::atol(milliseconds), 60000L) : 0L));
    if (const char* save = std::getenv("UPDATE_CHILD_SAVE")) {
      std::ofstream(NativeForm(save), std::ios::binary) << "saved\n";
    }
  }
  return 0;
}
