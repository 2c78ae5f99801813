// How os::fs on Linux keeps the text of its last failure (one per thread).
#pragma once

#include <string>

namespace os::fs::posix {

// Keeps text as the last error; returns false for `return Fail(...)`.
bool Fail(const std::string& text);
// The system's words for errno, after "what: " when what is not empty.
bool FailWithErrno(const std::string& what);

}  // namespace os::fs::posix
