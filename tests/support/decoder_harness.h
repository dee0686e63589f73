// A stand-in for the extraction run under the older-method decoders: compressed bytes from a
// string, decoded bytes collected in memory through a 32768-byte output buffer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "unzip/decoders/decoder_io.h"

namespace test {

// Raised by FlushOutput when the output would exceed the limit, as the run does when an entry
// grows past its uncompressed size; nothing of the refused block is kept.
class OutputLimitExceeded : public std::runtime_error {
 public:
  OutputLimitExceeded() : std::runtime_error("output larger than its limit") {}
};

class DecoderHarness : public TDecoderIO {
 public:
  static constexpr size_t kOutputBufferSize = 32768;

  // The input is handed out in pieces of at most kInputPiece bytes, so that the decoders' tests
  // also cross the boundaries between the run's input blocks, at odd places.
  static constexpr size_t kInputPiece = 7;

  explicit DecoderHarness(std::string input, uint64_t outputLimit = UINT64_MAX)
      : input_(std::move(input)), outputLimit_(outputLimit) {}

  size_t ReadInput(const uint8_t*& data) override;
  void PutOutput(const uint8_t* data, size_t n) override;
  void FlushOutput() override;
  int HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                    uint32_t flags) override;

  // What was written out; bytes still waiting in the output buffer are not part of it.
  const std::string& Output() const { return output_; }
  size_t Pending() const { return pending_.size(); }

  struct Message {
    int id;
    std::string msg1;
    std::string msg2;
    uint32_t flags;
  };

  size_t writeOuts = 0;     // FlushOutput calls that wrote something
  size_t readsPastEnd = 0;  // ReadInput calls that found the input used up
  std::vector<Message> messages;

 private:
  std::string input_;
  size_t inputPos_ = 0;
  uint64_t outputLimit_;
  std::string pending_;
  std::string output_;
};

}  // namespace test
