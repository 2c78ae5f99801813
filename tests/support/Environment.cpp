#include "support/Environment.h"

#include <cstdlib>
#include <ctime>

#include "support/Corpus.h"

namespace testing_support {

namespace {

void Put(const std::string& name, const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value ? value->c_str() : "");
  _tzset();
#else
  if (value) {
    ::setenv(name.c_str(), value->c_str(), 1);
  } else {
    ::unsetenv(name.c_str());
  }
  ::tzset();
#endif
}

}  // namespace

bool UnderWindows() {
  return ProgramPath("/") != "/";
}

ScopedEnvironment::ScopedEnvironment(const std::string& name,
                                     const std::optional<std::string>& value)
    : name_(name) {
  if (const char* old = std::getenv(name.c_str())) old_ = old;
  Put(name_, value);
}

ScopedEnvironment::~ScopedEnvironment() {
  Put(name_, old_);
}

}  // namespace testing_support
