// The abstract byte stream and the file stream on the platform file layer.
#pragma once

#include <cstdint>
#include <string>

#include "platform/files.h"

// Seek origins.
enum : int { soBeginning = 0, soCurrent = 1, soEnd = 2 };

// A seekable byte stream. Counts are signed 32-bit, sizes and positions signed 64-bit.
class TStream {
 public:
  virtual ~TStream() = default;

  // The size: by default P := Seek(0, 1); S := Seek(0, 2); Seek(P, 0); S.
  virtual int64_t GetSize();
  // Changes the size; a stream that cannot raises EStreamError.
  virtual void SetSize(int64_t newSize);
  // Bytes read into `buffer`; fewer than `count` only at the end or on a failure. Never raises.
  virtual int32_t Read(void* buffer, int32_t count) = 0;
  // Bytes written; fewer than `count` on a failure.
  virtual int32_t Write(const void* buffer, int32_t count) = 0;
  // Moves to `offset` from `origin` (soBeginning, soCurrent, soEnd); returns the new position.
  virtual int64_t Seek(int64_t offset, int origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position) { Seek(position, soBeginning); }
};

// A stream over an open OS file handle. It keeps the file position itself, so asking for the
// position costs no system call.
class THandleStream : public TStream {
 public:
  explicit THandleStream(platform::File file) : file_(std::move(file)) {}

  // The file's size (one query, no seeks); -1 when the OS refuses.
  int64_t GetSize() override { return file_.Size(); }
  // Sets the size: moves the file pointer to `newSize` and ends the file there; a failure raises
  // EOSError with the system's text.
  void SetSize(int64_t newSize) override;
  // A read that the system refuses returns 0, as the end of the file does; ReadFailure keeps it.
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Returns the new position, or -1 when the OS refused (the position is then unchanged).
  int64_t Seek(int64_t offset, int origin) override;

  // Asks the OS to write the file's data to disk.
  virtual bool FlushToDisk() { return file_.FlushToDisk(); }

  platform::File& Handle() { return file_; }
  // The first read of this stream that the system refused ("read" with the system's code), so
  // that a reader who met a short read can tell a failure from the end; code 0 while none was.
  const platform::OsError& ReadFailure() const { return readFailure_; }

 private:
  platform::File file_;
  int64_t position_ = 0;
  platform::OsError readFailure_;
};

// A file opened by name with one of the platform's open modes (platform::kOpenCreate, ...).
class TFileStream : public THandleStream {
 public:
  // Raises EFCreateError (create mode) or EFOpenError (other modes) with the expanded file name
  // and the system's text when the file cannot be opened.
  TFileStream(const std::string& fileName, uint16_t mode);
  const std::string& FileName() const { return fileName_; }

 private:
  std::string fileName_;
};
