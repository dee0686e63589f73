// Fuzz target: the imploded-data decoder. Input: one byte whose bits 1 and 2 are the entry's
// flag bits (8 KB dictionary, literal tree), four bytes of uncompressed size (least significant
// first), then the stream.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/decoder_fuzz_io.h"
#include "unzip/decoders/explode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  static const auto memory = std::make_unique<TOlderMethodsMemory>();
  const auto flags = static_cast<uint16_t>(data[0] & 6);
  const uint32_t uncompressedSize = FuzzLe32(data + 1);
  TFuzzDecoderIO io(data + 5, size - 5, uncompressedSize);
  try {
    Explode(io, *memory, flags, uncompressedSize);
  } catch (const TFuzzDecoderIO::EOutputLimit&) {
  }
  return 0;
}
