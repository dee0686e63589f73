// The runtime's exception classes: the base `Exception` carrying a message, and the stream, file,
// I/O, OS and list errors that the platform layer and the collections raise.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

// A file could not be created: "Cannot create file "<expanded name>". <system text>".
class EFCreateError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// A file could not be opened: "Cannot open file "<expanded name>". <system text>".
class EFOpenError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

// An I/O failure with the runtime's error code (such as 3, "path not found").
class EInOutError : public Exception {
 public:
  EInOutError(std::string message, int errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// An operating-system call failed; ErrorCode is GetLastError() or errno.
class EOSError : public Exception {
 public:
  EOSError(std::string message, int errorCode)
      : Exception(std::move(message)), ErrorCode(errorCode) {}
  int ErrorCode;
};

// An index outside a list, a put into a sorted list, a duplicate, a capacity out of range.
class EListError : public Exception {
 public:
  using Exception::Exception;
};
