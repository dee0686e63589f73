// Buffered streams: the archive is read and every extracted file is written through one buffer
// of a fixed size, so that the decoders' small reads and writes become few system calls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/stream.h"

// A buffer over another stream (not owned). It is either idle (nothing pending), reading (bytes
// read ahead and not yet consumed) or writing (bytes accepted and not yet given to the source).
// Its logical position is the source's position plus the buffer offset; seeks to the current
// position and position queries touch neither the buffer nor the source.
//
// A write-out that falls short is reported to the writer: Write returns fewer bytes than it was
// given (also when the failing write-out is that of its last buffer), a moving Seek raises
// "Seek error", and FlushBuffer returns false. Destruction writes out what is still pending but
// has no one to report a failure to, so an owner that must know calls FlushBuffer first.
class TBufferedStream : public TStream {
 public:
  enum TBufferMode : uint8_t { bufIdle = 0, bufReading = 1, bufWriting = 2 };
  using TBufferEvent = std::function<void(TBufferedStream* sender)>;

  // `bufferSize` bytes of buffer (at least one); the source is used, never freed.
  TBufferedStream(TStream* source, int32_t bufferSize);
  ~TBufferedStream() override;
  TBufferedStream(const TBufferedStream&) = delete;
  TBufferedStream& operator=(const TBufferedStream&) = delete;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Origin 0, 1 or 2; origin 2 counts |offset| bytes back from the end whatever the sign. Any
  // other origin raises "Invalid seek origin (%d)".
  int64_t Seek(int64_t offset, int origin) override;
  // Steps back one byte in the buffer and stores `b` there; "Putback overflow" (EStreamError)
  // when there is no byte before the cursor.
  virtual void PutBack(uint8_t b);

  // Writes out pending bytes now. True when every byte accepted so far reached the source.
  bool FlushBuffer();

  TBufferMode Mode() const { return FMode; }
  bool SyncOnClose() const { return FSyncOnClose; }
  void SetSyncOnClose(bool value) { FSyncOnClose = value; }
  bool HasWritten() const { return FHasWritten; }

  TBufferEvent OnBufferFilled;   // after every refill, also an empty one
  TBufferEvent OnBufferWritten;  // after every write-out

 protected:
  virtual bool RefillBuffer();
  virtual bool WriteOutBuffer();
  virtual void DoBufferFilled();
  virtual void DoBufferWritten();

 private:
  int64_t BufferOffset() const;
  int64_t EffectiveSize();

  TStream* FSource;
  std::unique_ptr<uint8_t[]> FData;
  uint8_t* FCursor = nullptr;  // nullptr until the first read or write and after a moving seek
  uint8_t* FLimit;
  int32_t FCapacity;
  TBufferMode FMode = bufIdle;
  bool FSyncOnClose = false;
  bool FHasWritten = false;
  bool FWriteFailed = false;       // some write-out fell short
  int32_t FLastWriteOutCount = 0;  // bytes the source took in the latest write-out
};

namespace detail {
// Holds the file stream so that it is opened before, and closed after, the buffer over it.
struct TOwnedFileStream {
  explicit TOwnedFileStream(const std::string& fileName, uint16_t mode)
      : FFileStream(std::make_unique<TFileStream>(fileName, mode)) {}
  std::unique_ptr<TFileStream> FFileStream;
};
}  // namespace detail

// A buffered stream over a file it opens and owns.
class TBufferedFileStream : private detail::TOwnedFileStream, public TBufferedStream {
 public:
  // Opens `fileName` with `mode` (EFCreateError / EFOpenError when it cannot). Only a stream
  // opened with write access (the create mode included) ever flushes to disk on close.
  TBufferedFileStream(const std::string& fileName, int32_t bufferSize, bool syncOnClose,
                      uint16_t mode);

  // Sets the file's size directly (the buffer is not consulted; set Position afterwards).
  // EOSError when the end of file cannot be set.
  void SetSize(int64_t newSize) override;

  platform::File& FileHandle() { return FFileStream->Handle(); }
  // The file's name as it was opened, and the first read of it that the system refused.
  const std::string& FileName() const { return FFileStream->FileName(); }
  const platform::OsError& ReadFailure() const { return FFileStream->ReadFailure(); }
};
