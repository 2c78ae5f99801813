// Shared pieces of the Deflate decoder: its exceptions.
#pragma once

#include <string>

#include "rtl/Exception.h"

namespace ab {

// The user asked to stop while a member was being inflated.
class EAbAbortProgress : public rtl::Exception {
 public:
  EAbAbortProgress() : rtl::Exception("Process aborted by user") {}
  explicit EAbAbortProgress(std::string message) : rtl::Exception(std::move(message)) {}
};

// Internal signal: the requested number of output bytes has been produced.
class EAbPartSizedInflate : public rtl::Exception {
 public:
  EAbPartSizedInflate() : rtl::Exception("") {}
};

class EAbInflatePasswordError : public rtl::Exception {
 public:
  EAbInflatePasswordError()
      : rtl::Exception("Inflate: stream is encrypted but passphrase is wrong") {}
};

// The decoder's own diagnosis; Inflate wraps it in EAbInflateError.
class EAbInternalInflateError : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

class EAbInflateError : public rtl::Exception {
 public:
  explicit EAbInflateError(const std::string& internalMessage)
      : rtl::Exception("Inflate error, possibly a corrupted compressed stream. (Internal cause: " +
                       internalMessage + ")") {}
};

}  // namespace ab
