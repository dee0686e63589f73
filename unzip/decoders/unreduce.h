// Decoder of reduced entries (methods 2 to 5): probabilistic follower sets feeding an escape
// state machine that copies from a 16384-byte window.
#pragma once

#include <cstdint>

#include "unzip/decoders/decoder_io.h"
#include "unzip/decoders/older_methods_memory.h"

// Decodes the entry's input (compression `factor` 1 to 4, that is the method number - 1) into
// the run's output buffer until `uncompressedSize` bytes are due no more, and flushes it.
// Decoding also ends, and the entry then fails its CRC, when the data reaches past the end of
// the input by more than a few bits, so a short stream that claims a huge size ends at once.
void Unreduce(TDecoderIO& io, TOlderMethodsMemory& memory, int factor, uint64_t uncompressedSize);
