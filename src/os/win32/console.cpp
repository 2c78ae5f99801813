// Terminal queries and line input on the Windows console.
#include <windows.h>

#include <algorithm>
#include <iostream>

#include "os/os.h"

namespace os {

namespace {

HANDLE StandardHandle(int stream) {
  return GetStdHandle(stream == 0   ? STD_INPUT_HANDLE
                      : stream == 1 ? STD_OUTPUT_HANDLE
                                    : STD_ERROR_HANDLE);
}

}  // namespace

bool IsTerminal(int stream) {
  DWORD mode = 0;
  return GetConsoleMode(StandardHandle(stream), &mode) != 0;
}

std::optional<std::string> ReadConsoleLine(bool echo) {
  const HANDLE input = StandardHandle(0);
  DWORD saved = 0;
  const bool console = GetConsoleMode(input, &saved) != 0;
  if (console && !echo) SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  const bool got = static_cast<bool>(std::getline(std::cin, line));
  if (console && !echo) {
    SetConsoleMode(input, saved);
    std::cerr << '\n';
  }
  if (!got) return std::nullopt;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

bool WriteStandardOutput(const void* data, size_t count) {
  // WriteFile on the handle itself: the C runtime's text mode would turn
  // every LF into CR LF.
  const HANDLE output = StandardHandle(1);
  const char* next = static_cast<const char*>(data);
  while (count > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(output, next, chunk, &written, nullptr) || written == 0) return false;
    next += written;
    count -= written;
  }
  return true;
}

}  // namespace os
