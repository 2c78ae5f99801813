// The runtime's exception classes: the base Exception with its message and the
// file, stream, list and assertion errors that the rest of the program raises.
// Out of memory is std::bad_alloc.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

namespace rtl {

class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  int HelpContext() const { return helpContext_; }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
  int helpContext_ = 0;
};

// An input/output error with the operating system's or runtime's error code.
class EInOutError : public Exception {
 public:
  EInOutError(int32_t errorCode, std::string message)
      : Exception(std::move(message)), errorCode_(errorCode) {}
  int32_t ErrorCode() const { return errorCode_; }

 private:
  int32_t errorCode_;
};

class EStreamError : public Exception {
 public:
  using Exception::Exception;
};

class EFilerError : public EStreamError {
 public:
  using EStreamError::EStreamError;
};

class EReadError : public EFilerError {
 public:
  EReadError() : EFilerError("Stream read error") {}
};

class EWriteError : public EFilerError {
 public:
  EWriteError() : EFilerError("Stream write error") {}
};

// "Cannot create file %s" with the path filled in.
class EFCreateError : public EStreamError {
 public:
  explicit EFCreateError(const std::string& path);
};

// "Cannot open file %s" with the path filled in.
class EFOpenError : public EStreamError {
 public:
  explicit EFOpenError(const std::string& path);
};

// "List index out of bounds (%d)" with the index filled in.
class EListError : public Exception {
 public:
  explicit EListError(int32_t index);
};

// A broken programming contract; no input should reach one.
class EAssertionFailed : public Exception {
 public:
  using Exception::Exception;
};

// Raises EAssertionFailed with the text when the condition is false.
inline void Assert(bool condition, const char* text) {
  if (!condition) throw EAssertionFailed(text);
}

}  // namespace rtl
