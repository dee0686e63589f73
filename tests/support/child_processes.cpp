// Helpers of the tests that work with real processes.
#include "support/child_processes.h"

#include <chrono>
#include <random>
#include <thread>

namespace test {

namespace fs = std::filesystem;

bool OnWindows() {
  return fs::path::preferred_separator == L'\\';
}

std::string UniqueName(const std::string& stem) {
  static std::mt19937_64 random{std::random_device{}()};
  return stem + std::to_string(10000000 + random() % 90000000);
}

bool WaitFor(const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + kProcessWait;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace test
