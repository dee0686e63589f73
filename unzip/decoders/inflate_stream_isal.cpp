// TInflateStream on ISA-L's isal_inflate: raw deflate, streaming, the window kept in its state.
#include <isa-l/igzip_lib.h>

#include "unzip/decoders/inflate_stream.h"

namespace {

const char* IsalReason(int code) {
  switch (code) {
    case ISAL_INVALID_BLOCK:
      return "invalid deflate block";
    case ISAL_INVALID_SYMBOL:
      return "invalid code in deflate data";
    case ISAL_INVALID_LOOKBACK:
      return "invalid distance too far back";
    case ISAL_NEED_DICT:
      return "deflate data needs a preset dictionary";
    default:
      return "deflate decoder failed";
  }
}

}  // namespace

struct TInflateStream::State {
  inflate_state isal;
};

TInflateStream::TInflateStream() : state_(std::make_unique<State>()) {
  isal_inflate_init(&state_->isal);
}

TInflateStream::~TInflateStream() = default;

bool TInflateStream::Reset() {
  isal_inflate_reset(&state_->isal);
  state_->isal.crc_flag = ISAL_DEFLATE;
  state_->isal.hist_bits = 0;  // the full 32 KB window
  reason_.clear();
  return true;
}

void TInflateStream::SetInput(const uint8_t* data, size_t n) {
  state_->isal.next_in = const_cast<uint8_t*>(data);
  state_->isal.avail_in = static_cast<uint32_t>(n);
}

void TInflateStream::SetOutput(uint8_t* data, size_t n) {
  state_->isal.next_out = data;
  state_->isal.avail_out = static_cast<uint32_t>(n);
}

size_t TInflateStream::InputLeft() const {
  return state_->isal.avail_in;
}

size_t TInflateStream::OutputLeft() const {
  return state_->isal.avail_out;
}

TInflateStream::TResult TInflateStream::Inflate() {
  inflate_state& s = state_->isal;
  if (s.block_state == ISAL_BLOCK_FINISH) return TResult::kEnd;
  const uint32_t inBefore = s.avail_in;
  const uint32_t outBefore = s.avail_out;
  const int code = isal_inflate(&s);
  if (code < 0 || code == ISAL_NEED_DICT) {
    reason_ = IsalReason(code);
    return TResult::kFailed;
  }
  if (s.block_state == ISAL_BLOCK_FINISH) return TResult::kEnd;
  // isal_inflate answers OK when it has nothing to work on; without this a cut stream would be
  // fed nothing forever.
  if (s.avail_in == inBefore && s.avail_out == outBefore) {
    reason_ = kInflateCutShort;
    return TResult::kFailed;
  }
  return TResult::kMore;
}
