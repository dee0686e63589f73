// Fuzz target: a whole extraction run on arbitrary archive bytes, into a fresh directory, with
// the password "test". Nothing may be written outside the destination: the directories above it
// are checked after every run.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/exceptions.h"
#include "unzip/unzipper.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Root() {
  static const fs::path root = "/tmp/unzip-fuzz-" + std::to_string(getpid());
  return root;
}

// Only what the target itself put there may be in the directories above the destination.
void CheckNothingEscaped() {
  for (const fs::path& dir : {Root(), Root() / "a", Root() / "a" / "b"}) {
    for (const auto& item : fs::directory_iterator(dir)) {
      const std::string name = item.path().filename().string();
      if (name != "archive.zip" && name != "a" && name != "b" && name != "dest") {
        std::fprintf(stderr, "written outside the destination: %s\n", item.path().c_str());
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path dest = Root() / "a" / "b" / "dest";
  fs::create_directories(dest);
  const fs::path archive = Root() / "archive.zip";
  FILE* file = std::fopen(archive.c_str(), "wb");
  if (file == nullptr) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  {
    TUnZipper zip;
    zip.OverwriteMode = size % 2 == 0 ? Always : Never;
    zip.DoAll = true;
    zip.RecreateDirs = true;
    zip.ReplaceReadOnly = true;
    zip.DoProcessMessages = false;
    zip.Password = "test";
    zip.OnGetNextDisk = [](TUnZipper*, int, std::string& name) { name.clear(); };
    zip.OnHandleMessage = [](TUnZipper*, int, const std::string&, const std::string&, uint32_t,
                             int& result) { result = 7; };  // "No" to every question
    zip.SetZipName(archive.string());
    zip.SetDestDir(dest.string());
    try {
      zip.UnZip();
    } catch (const Exception&) {
      // Refusing bad input with the component's errors is the expected outcome.
    }
  }
  CheckNothingEscaped();
  std::error_code ignored;
  fs::remove_all(dest, ignored);
  return 0;
}
