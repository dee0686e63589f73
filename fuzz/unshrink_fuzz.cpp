// Fuzz target: the shrunk-data decoder on arbitrary input, all of it the compressed stream.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/decoder_fuzz_io.h"
#include "unzip/decoders/unshrink.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const auto memory = std::make_unique<TOlderMethodsMemory>();
  // A shrunk entry is only bounded by its stored size; 64 MB stands in for it.
  TFuzzDecoderIO io(data, size, uint64_t{64} << 20);
  try {
    Unshrink(io, *memory);
  } catch (const TFuzzDecoderIO::EOutputLimit&) {
  }
  return 0;
}
