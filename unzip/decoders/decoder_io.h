// What the shrunk, reduced and imploded decoders need from the extraction run: the entry's
// compressed bytes, the run's output buffer, and the user-notice routine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Implemented by the extraction run for the entry being decoded. Exceptions raised by
// ReadInput, PutOutput or FlushOutput (short archive, oversized output, write failure, cancel)
// pass through the decoders unchanged.
class TDecoderIO {
 public:
  virtual ~TDecoderIO() = default;

  // Points `data` at the entry's next compressed bytes and answers how many there are (at least
  // one), or answers 0 when the entry's input is used up (again on every later call). The bytes
  // stay valid until the next call.
  virtual size_t ReadInput(const uint8_t*& data) = 0;
  // Appends `n` decoded bytes to the run's output buffer, which is written out through
  // FlushOutput each time it holds 32768 bytes.
  virtual void PutOutput(const uint8_t* data, size_t n) = 0;
  // Writes out whatever the output buffer holds (nothing happens when it is empty).
  virtual void FlushOutput() = 0;
  // Shows a notice or question to the user; answers the user's choice.
  virtual int HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                            uint32_t flags) = 0;
};
