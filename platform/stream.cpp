// TStream defaults, and the handle and file streams on platform::File.
#include "platform/stream.h"

#include "platform/exceptions.h"

int64_t TStream::GetSize() {
  const int64_t position = Seek(0, soCurrent);
  const int64_t size = Seek(0, soEnd);
  Seek(position, soBeginning);
  return size;
}

void TStream::SetSize(int64_t) {
  throw EStreamError("Stream size cannot be changed");
}

void THandleStream::SetSize(int64_t newSize) {
  if (file_.Seek(newSize, soBeginning) < 0 || !file_.SetEndOfFile()) {
    const platform::OsError& error = platform::LastError();
    throw EOSError("System Error.  Code: " + std::to_string(error.code) + ".\n" +
                       platform::SystemErrorText(error.code),
                   error.code);
  }
  position_ = newSize;
}

int32_t THandleStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int32_t n = file_.Read(buffer, count);
  if (n < 0 && readFailure_.code == 0) readFailure_ = platform::LastError();
  if (n <= 0) return 0;
  position_ += n;
  return n;
}

int32_t THandleStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int32_t n = file_.Write(buffer, count);
  if (n <= 0) return 0;
  position_ += n;
  return n;
}

int64_t THandleStream::Seek(int64_t offset, int origin) {
  if (origin == soCurrent && offset == 0) return position_;
  if (origin == soBeginning && offset == position_) return position_;
  const int64_t target = file_.Seek(offset, origin);
  if (target < 0) return -1;
  position_ = target;
  return target;
}

namespace {
platform::File OpenOrRaise(const std::string& fileName, uint16_t mode) {
  platform::File file = platform::File::Open(fileName, mode);
  if (!file.IsOpen()) {
    const std::string text = platform::SystemErrorText(platform::LastError().code);
    const std::string name = platform::ExpandFileName(fileName);
    if (mode == platform::kOpenCreate) {
      throw EFCreateError("Cannot create file \"" + name + "\". " + text);
    }
    throw EFOpenError("Cannot open file \"" + name + "\". " + text);
  }
  return file;
}
}  // namespace

TFileStream::TFileStream(const std::string& fileName, uint16_t mode)
    : THandleStream(OpenOrRaise(fileName, mode)), fileName_(fileName) {}
