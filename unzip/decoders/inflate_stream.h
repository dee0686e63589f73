// Raw deflate decoding (no header or trailer, 32 KB window) fed in slices. One contract, two
// backends: ISA-L (inflate_stream_isal.cpp) and zlib (inflate_stream_zlib.cpp); CMake builds the
// one UPDATE_INFLATE names.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class TInflateStream {
 public:
  enum class TResult { kMore, kEnd, kFailed };

  // Ready for a first stream. Raises std::bad_alloc when there is no memory for the state.
  TInflateStream();
  ~TInflateStream();
  TInflateStream(const TInflateStream&) = delete;
  TInflateStream& operator=(const TInflateStream&) = delete;

  // Starts a new stream, dropping what was left of the last one. False when the library cannot
  // (Reason() says why).
  bool Reset();

  // The bytes to decode next and the room for the decoded ones; the stream keeps its window
  // itself, so the output may be a new buffer (or the same one reused) each time.
  void SetInput(const uint8_t* data, size_t n);
  void SetOutput(uint8_t* data, size_t n);
  size_t InputLeft() const;
  size_t OutputLeft() const;

  // Decodes until the input or the output is used up or the stream ends (kEnd). kFailed, with
  // Reason() in words, for data the decoder refuses and for a call that could do nothing at all
  // before the end of the stream (its input ran out).
  TResult Inflate();
  const std::string& Reason() const { return reason_; }

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::string reason_;
};

// The words for a stream whose data runs out before its end, the same from both backends.
inline constexpr const char* kInflateCutShort = "unexpected end of deflate data";
