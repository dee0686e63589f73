// A stand-in for the extraction run under the older-method decoders.
#include "support/decoder_harness.h"

#include <algorithm>

namespace test {

size_t DecoderHarness::ReadInput(const uint8_t*& data) {
  if (inputPos_ >= input_.size()) {
    ++readsPastEnd;
    return 0;
  }
  const size_t n = std::min(kInputPiece, input_.size() - inputPos_);
  data = reinterpret_cast<const uint8_t*>(input_.data()) + inputPos_;
  inputPos_ += n;
  return n;
}

void DecoderHarness::PutOutput(const uint8_t* data, size_t n) {
  while (n > 0) {
    const size_t take = std::min(n, kOutputBufferSize - pending_.size());
    pending_.append(reinterpret_cast<const char*>(data), take);
    data += take;
    n -= take;
    if (pending_.size() == kOutputBufferSize) FlushOutput();
  }
}

void DecoderHarness::FlushOutput() {
  if (pending_.empty()) return;
  if (output_.size() + pending_.size() > outputLimit_) throw OutputLimitExceeded();
  output_ += pending_;
  pending_.clear();
  ++writeOuts;
}

int DecoderHarness::HandleMessage(int messageId, const std::string& msg1, const std::string& msg2,
                                  uint32_t flags) {
  messages.push_back(Message{messageId, msg1, msg2, flags});
  return 0;
}

}  // namespace test
