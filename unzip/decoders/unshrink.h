// Decoder of shrunk entries (method 1): LZW with codes of 9 to 13 bits, a code-size increase
// and a partial clearing signalled in the stream.
#pragma once

#include "unzip/decoders/decoder_io.h"
#include "unzip/decoders/older_methods_memory.h"

// Decodes the entry's input into the run's output buffer and flushes it. Corrupt data raises
// nothing: a code size above 13 bits, or a string that does not fit the 8192-byte stack (a chain
// through freed codes, a cycle of prefixes), ends the decoding as if the data ended there, so the
// entry then fails its CRC.
void Unshrink(TDecoderIO& io, TOlderMethodsMemory& memory);
