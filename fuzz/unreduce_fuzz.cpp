// Fuzz target: the reduced-data decoder. Input: one byte whose low two bits give the compression
// factor - 1, four bytes of uncompressed size (least significant first), then the stream.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "fuzz/decoder_fuzz_io.h"
#include "unzip/decoders/unreduce.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  static const auto memory = std::make_unique<TOlderMethodsMemory>();
  const int factor = (data[0] & 3) + 1;
  const uint32_t uncompressedSize = FuzzLe32(data + 1);
  TFuzzDecoderIO io(data + 5, size - 5, uncompressedSize);
  try {
    Unreduce(io, *memory, factor, uncompressedSize);
  } catch (const TFuzzDecoderIO::EOutputLimit&) {
  }
  return 0;
}
