// TInflateStream on zlib's inflate with window bits -15 (raw deflate, 32 KB window).
#include <zlib.h>

#include "unzip/decoders/inflate_stream.h"

struct TInflateStream::State {
  z_stream zlib{};
  bool open = false;
  ~State() {
    if (open) inflateEnd(&zlib);
  }
};

TInflateStream::TInflateStream() : state_(std::make_unique<State>()) {}

TInflateStream::~TInflateStream() = default;

bool TInflateStream::Reset() {
  reason_.clear();
  State& s = *state_;
  const int result = s.open ? inflateReset(&s.zlib) : inflateInit2(&s.zlib, -15);
  if (result != Z_OK) {
    reason_ = s.zlib.msg != nullptr ? s.zlib.msg : "insufficient memory";
    return false;
  }
  s.open = true;
  return true;
}

void TInflateStream::SetInput(const uint8_t* data, size_t n) {
  state_->zlib.next_in = const_cast<Bytef*>(data);
  state_->zlib.avail_in = static_cast<uInt>(n);
}

void TInflateStream::SetOutput(uint8_t* data, size_t n) {
  state_->zlib.next_out = data;
  state_->zlib.avail_out = static_cast<uInt>(n);
}

size_t TInflateStream::InputLeft() const {
  return state_->zlib.avail_in;
}

size_t TInflateStream::OutputLeft() const {
  return state_->zlib.avail_out;
}

TInflateStream::TResult TInflateStream::Inflate() {
  const int result = inflate(&state_->zlib, Z_NO_FLUSH);
  if (result == Z_STREAM_END) return TResult::kEnd;
  if (result == Z_OK) return TResult::kMore;
  // Z_BUF_ERROR: nothing could be done, which with room for output means the input ran out.
  if (result == Z_BUF_ERROR) {
    reason_ = kInflateCutShort;
  } else if (result == Z_NEED_DICT) {
    reason_ = "deflate data needs a preset dictionary";
  } else if (state_->zlib.msg != nullptr) {
    reason_ = state_->zlib.msg;
  } else {
    reason_ = result == Z_MEM_ERROR ? "insufficient memory" : "deflate decoder failed";
  }
  return TResult::kFailed;
}
