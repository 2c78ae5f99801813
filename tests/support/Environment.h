// Which build the tests run on, and environment variables changed for one
// test only.
#pragma once

#include <optional>
#include <string>

namespace testing_support {

// Whether the tests run as the Win32 build (under Wine or Windows).
bool UnderWindows();

// Sets an environment variable (or removes it, given nothing) while it lives
// and puts the old value back when it goes; the C library's idea of the time
// zone follows TZ.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const std::string& name, const std::optional<std::string>& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

}  // namespace testing_support
