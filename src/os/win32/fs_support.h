// What os::fs on Windows shares between its units: UTF-8 and UTF-16, long
// paths and the text of the last failure (one per thread).
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "os/fs.h"

namespace os::fs::win32 {

std::wstring Wide(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// The full path of path (taken against the current folder) in the \\?\ form
// that lifts the length limit; empty when it cannot be resolved.
std::wstring LongPath(const std::string& path);

// Keeps text as the last error; returns false for `return Fail(...)`.
bool Fail(const std::string& text);
// The system's words for GetLastError(), after "what: " when what is not empty.
bool FailWithLastError(const std::string& what);

FILETIME ToFileTime(FileTime time);
FileTime FromFileTime(const FILETIME& time);

}  // namespace os::fs::win32
