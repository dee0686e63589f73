// An in-memory stream for tests: counts the calls it receives and can be told to accept only so
// many bytes, so that write failures can be provoked.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/stream.h"

namespace test {

class MemoryStream : public TStream {
 public:
  explicit MemoryStream(std::string initial = {}) : data(std::move(initial)) {}

  int64_t GetSize() override { return static_cast<int64_t>(data.size()); }
  void SetSize(int64_t newSize) override { data.resize(static_cast<size_t>(newSize)); }

  int32_t Read(void* buffer, int32_t count) override {
    ++readCalls;
    if (count <= 0 || position >= GetSize()) return 0;
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, GetSize() - position));
    std::memcpy(buffer, data.data() + position, static_cast<size_t>(n));
    position += n;
    return n;
  }

  int32_t Write(const void* buffer, int32_t count) override {
    ++writeCalls;
    if (count <= 0) return 0;
    int32_t n = count;
    if (acceptBytes >= 0) {
      n = static_cast<int32_t>(std::min<int64_t>(count, acceptBytes));
      acceptBytes -= n;
    }
    if (position + n > GetSize()) data.resize(static_cast<size_t>(position + n));
    std::memcpy(data.data() + position, buffer, static_cast<size_t>(n));
    position += n;
    return n;
  }

  int64_t Seek(int64_t offset, int origin) override {
    ++seekCalls;
    const int64_t base = origin == 0 ? 0 : origin == 1 ? position : GetSize();
    if (base + offset < 0) return -1;
    position = base + offset;
    return position;
  }

  std::string data;
  int64_t position = 0;
  int64_t acceptBytes = -1;  // bytes still accepted by Write; -1 for no limit
  int readCalls = 0;
  int writeCalls = 0;
  int seekCalls = 0;
};

}  // namespace test
