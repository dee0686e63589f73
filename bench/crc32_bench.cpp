// Throughput of the entry checksum (Crc32Update) on a 1 MB buffer, in bytes per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "unzip/base/crc32.h"

namespace {

void BM_Crc32Update(benchmark::State& state) {
  std::vector<uint8_t> data(static_cast<size_t>(state.range(0)));
  uint32_t x = 12345;
  for (uint8_t& b : data) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  for (auto _ : state) {
    uint32_t crc = Crc32Update(0xFFFFFFFFu, data.data(), data.size());
    benchmark::DoNotOptimize(crc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_Crc32Update)->Arg(1 << 20);

}  // namespace

BENCHMARK_MAIN();
