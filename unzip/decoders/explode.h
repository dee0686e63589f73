// Decoder of imploded entries (method 6): Shannon-Fano coded literals, lengths and distances
// copying from a 32768-byte window, with a 4 KB or 8 KB dictionary and two or three trees.
#pragma once

#include <cstdint>
#include <memory_resource>

#include "unzip/decoders/decoder_io.h"
#include "unzip/decoders/older_methods_memory.h"

// Decodes the entry's input into the run's output buffer until `uncompressedSize` bytes are due
// no more, and flushes it. `flags` is the entry's general-purpose flag: kFlagImplodeBigDictionary
// selects the 8 KB dictionary, kFlagImplodeLiteralTree the literal tree. The code tables come from
// `tableMemory`; when it cannot supply them the user gets notice 193 and decoding stops.
//
// Corrupt data raises nothing; the entry then fails its CRC. A stored tree whose lengths do not
// fill it exactly or do not form a complete code ends decoding with no output; an invalid code
// ends it at once, leaving the bytes still in the window unwritten. Decoding also ends (with the
// window written out) when the data reaches past the end of the input by more than a few bits,
// so a short stream that claims a huge size ends at once.
void Explode(TDecoderIO& io, TOlderMethodsMemory& memory, uint16_t flags, uint64_t uncompressedSize,
             std::pmr::memory_resource* tableMemory = std::pmr::get_default_resource());
