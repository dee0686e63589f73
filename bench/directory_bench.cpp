// Times reading an archive's directory: the median of several LoadDirectory calls on a fresh
// component, each opening the file anew. Usage: directory_bench ARCHIVE [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/exceptions.h"
#include "unzip/unzipper.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: directory_bench ARCHIVE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 7;
  std::vector<double> seconds;
  int entries = 0;
  try {
    for (int run = 0; run < runs; ++run) {
      const auto start = std::chrono::steady_clock::now();
      TUnZipper zip;
      zip.SetZipName(argv[1]);
      zip.LoadDirectory();
      entries = zip.EntryCount();
      seconds.push_back(
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
  } catch (const Exception& e) {
    std::fprintf(stderr, "directory_bench: %s\n", e.Message().c_str());
    return 2;
  }
  std::sort(seconds.begin(), seconds.end());
  std::printf("%d entries, median %.1f ms over %d runs\n", entries,
              seconds[seconds.size() / 2] * 1000.0, runs);
  return 0;
}
