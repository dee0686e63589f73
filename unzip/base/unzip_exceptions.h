// The archive component's own exceptions. Each carries only its message.
#pragma once

#include "platform/exceptions.h"

class EUnZipException : public Exception {
 public:
  using Exception::Exception;
};

#define UNZIP_EXCEPTION(Name)               \
  class Name : public EUnZipException {     \
   public:                                  \
    using EUnZipException::EUnZipException; \
  }

UNZIP_EXCEPTION(EBadZipFile);
UNZIP_EXCEPTION(EIncompleteZip);
UNZIP_EXCEPTION(ENotAZipFile);
UNZIP_EXCEPTION(EFatalUnzipError);
UNZIP_EXCEPTION(EUserCanceled);
UNZIP_EXCEPTION(EBiggerThanUncompressed);
UNZIP_EXCEPTION(ECantWriteUCF);
UNZIP_EXCEPTION(ECanceledUnzipToBuffer);

#undef UNZIP_EXCEPTION

// The end record names parts of a split set that are not there: the record is damaged, or the
// file is no ZIP archive at all.
class EDamagedEndRecord : public EBadZipFile {
 public:
  using EBadZipFile::EBadZipFile;
};

// The system refused to read the archive (the file `Path`, as it was opened): the run ends
// there, and the entry being read is not to blame. ErrorCode is errno or GetLastError().
class EArchiveReadError : public EUnZipException {
 public:
  EArchiveReadError(std::string message, std::string path, int errorCode)
      : EUnZipException(std::move(message)), Path(std::move(path)), ErrorCode(errorCode) {}
  std::string Path;
  int ErrorCode;
};

// Errors of the zlib binding.
class EZLibError : public Exception {
 public:
  using Exception::Exception;
};

class EZCompressionError : public EZLibError {
 public:
  using EZLibError::EZLibError;
};
