// Sets an environment variable for the life of an object, for tests of code that reads one.
#pragma once

#include <cstdlib>
#include <deque>
#include <string>

namespace test {

// An empty value stands for "unset" (the code that reads these variables ignores empty ones;
// Windows removes a variable set to nothing).
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) {
    const char* old = std::getenv(name);
    old_ = std::string(name) + "=" + (old ? old : "");
    Put(std::string(name) + "=" + value);
  }
  ~ScopedEnv() { Put(old_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  // putenv keeps the pointer it is given: every setting gets storage of its own that lives as
  // long as the process (a few bytes per setting, in tests only).
  static void Put(const std::string& setting) {
    static auto* storage = new std::deque<std::string>;
    storage->push_back(setting);
    putenv(storage->back().data());
  }

  std::string old_;
};

}  // namespace test
