// The buffered stream's state machine: idle, reading ahead, or holding bytes to write.
#include "unzip/base/buffered_stream.h"

#include <algorithm>
#include <cstring>

#include "platform/checked_math.h"
#include "platform/exceptions.h"
#include "unzip/base/messages.h"

TBufferedStream::TBufferedStream(TStream* source, int32_t bufferSize)
    : FSource(source), FCapacity(std::max<int32_t>(bufferSize, 1)) {
  FData.reset(new uint8_t[static_cast<size_t>(FCapacity)]);
  FLimit = FData.get() + FCapacity;
}

TBufferedStream::~TBufferedStream() {
  if (FMode == bufWriting) WriteOutBuffer();
  if (FSyncOnClose && FHasWritten) {
    if (auto* handleStream = dynamic_cast<THandleStream*>(FSource)) {
      handleStream->FlushToDisk();
    }
  }
}

int64_t TBufferedStream::BufferOffset() const {
  switch (FMode) {
    case bufReading:
      return FCursor - FLimit;
    case bufWriting:
      return FCursor - FData.get();
    default:
      return 0;
  }
}

int64_t TBufferedStream::EffectiveSize() {
  return std::max(platform::WrappingAdd(FSource->Position(), BufferOffset()), FSource->GetSize());
}

bool TBufferedStream::RefillBuffer() {
  const int32_t n = std::max<int32_t>(FSource->Read(FData.get(), FCapacity), 0);
  FCursor = FData.get();
  FLimit = FData.get() + n;
  FMode = n > 0 ? bufReading : bufIdle;
  DoBufferFilled();
  return n > 0;
}

bool TBufferedStream::WriteOutBuffer() {
  const int32_t length = static_cast<int32_t>(FCursor - FData.get());
  FLastWriteOutCount = std::max<int32_t>(FSource->Write(FData.get(), length), 0);
  FCursor = FData.get();
  FMode = bufIdle;
  DoBufferWritten();
  if (FLastWriteOutCount != length) FWriteFailed = true;
  return FLastWriteOutCount == length;
}

void TBufferedStream::DoBufferFilled() {
  if (OnBufferFilled) OnBufferFilled(this);
}

void TBufferedStream::DoBufferWritten() {
  if (OnBufferWritten) OnBufferWritten(this);
}

int32_t TBufferedStream::Read(void* buffer, int32_t count) {
  if (FMode == bufWriting) WriteOutBuffer();
  // Outside reading, nothing in the buffer is readable: bytes left there by a write-out or an
  // abandoned read-ahead must not be handed out as data.
  if (FMode != bufReading) FCursor = FLimit = FData.get();
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t total = 0;
  while (count > 0) {
    if (FCursor == FLimit && count >= FCapacity) {
      // A request of a buffer or more goes straight into the caller's memory, all of it: no
      // copy, and one read of the source instead of one for the whole buffers and another for
      // the rest (a decoder's 32 KB blocks rarely start on a buffer boundary).
      const int32_t wanted = count;
      const int32_t n = std::max<int32_t>(FSource->Read(out, wanted), 0);
      FCursor = FLimit = FData.get();
      FMode = bufIdle;
      DoBufferFilled();
      out += n;
      total += n;
      count -= n;
      if (n < wanted) break;
      continue;
    }
    if (FCursor == FLimit && !RefillBuffer()) break;
    const int32_t k = static_cast<int32_t>(std::min<int64_t>(count, FLimit - FCursor));
    std::memcpy(out, FCursor, static_cast<size_t>(k));
    FCursor += k;
    out += k;
    total += k;
    count -= k;
  }
  return total;
}

int32_t TBufferedStream::Write(const void* buffer, int32_t count) {
  if (FMode != bufWriting) {
    // Give up the bytes read ahead: the source goes back to the logical position.
    if (FMode == bufReading) {
      FSource->SetPosition(platform::WrappingAdd(FSource->Position(), BufferOffset()));
    }
    FCursor = FData.get();
    FLimit = FData.get() + FCapacity;
    FMode = bufIdle;
  }
  const auto* in = static_cast<const uint8_t*>(buffer);
  int32_t earlierBytes = static_cast<int32_t>(FCursor - FData.get());  // from earlier calls
  int32_t total = 0;
  while (count > 0) {
    if (FCursor == FData.get() && count >= FCapacity) {
      // A buffer or more goes straight from the caller's memory, all of it, as one write-out:
      // a decoded block of a small file is one write instead of two.
      const int32_t wanted = count;
      FLastWriteOutCount = std::max<int32_t>(FSource->Write(in, wanted), 0);
      FMode = bufIdle;
      DoBufferWritten();
      total += FLastWriteOutCount;
      in += FLastWriteOutCount;
      count -= FLastWriteOutCount;
      if (FLastWriteOutCount != wanted) {
        FWriteFailed = true;
        break;
      }
      continue;
    }
    const int32_t k = static_cast<int32_t>(std::min<int64_t>(count, FLimit - FCursor));
    std::memcpy(FCursor, in, static_cast<size_t>(k));
    FCursor += k;
    in += k;
    total += k;
    count -= k;
    if (FCursor == FLimit) {
      const int32_t length = FCapacity;
      if (!WriteOutBuffer()) {
        // Report only this call's bytes that reached the source.
        const int32_t mine = length - earlierBytes;
        const int32_t reached = std::max(FLastWriteOutCount - earlierBytes, 0);
        total = total - mine + reached;
        break;
      }
      earlierBytes = 0;
    }
  }
  if (FCursor != FData.get()) FMode = bufWriting;
  FHasWritten = true;
  return total;
}

int64_t TBufferedStream::Seek(int64_t offset, int origin) {
  const int64_t current = platform::WrappingAdd(FSource->Position(), BufferOffset());
  int64_t target;
  switch (origin) {
    case soBeginning:
      target = offset;
      break;
    case soCurrent:
      target = platform::WrappingAdd(current, offset);
      break;
    case soEnd: {
      const uint64_t magnitude =
          offset < 0 ? 0 - static_cast<uint64_t>(offset) : static_cast<uint64_t>(offset);
      target = platform::WrappingSubtract(EffectiveSize(), static_cast<int64_t>(magnitude));
      break;
    }
    default:
      throw Exception(FormatMessageText(kMsgInvalidSeekOrigin, origin));
  }
  if (target != current && FMode == bufReading) {
    // A target inside the bytes read ahead only moves the cursor.
    const int64_t sourcePosition = FSource->Position();
    const int64_t bufferStart = sourcePosition - (FLimit - FData.get());
    if (target >= bufferStart && target <= sourcePosition) {
      FCursor = FData.get() + (target - bufferStart);
      return target;
    }
  }
  if (target != current) {
    if (FMode == bufWriting && !WriteOutBuffer()) throw Exception(MessageText(kMsgSeekError));
    FSource->SetPosition(target);
    FCursor = nullptr;
    FMode = bufIdle;
  }
  return target;
}

void TBufferedStream::PutBack(uint8_t b) {
  if (FCursor == nullptr || FCursor <= FData.get()) {
    throw EStreamError(MessageText(kMsgPutbackOverflow));
  }
  --FCursor;
  *FCursor = b;
}

bool TBufferedStream::FlushBuffer() {
  if (FMode == bufWriting) WriteOutBuffer();
  return !FWriteFailed;
}

TBufferedFileStream::TBufferedFileStream(const std::string& fileName, int32_t bufferSize,
                                         bool syncOnClose, uint16_t mode)
    : detail::TOwnedFileStream(fileName, mode), TBufferedStream(FFileStream.get(), bufferSize) {
  SetSyncOnClose(syncOnClose && (mode & 3) != 0);
}

void TBufferedFileStream::SetSize(int64_t newSize) {
  FFileStream->SetSize(newSize);
}
