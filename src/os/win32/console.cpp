// Terminal queries and line input on the Windows console.
#include <windows.h>

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

}  // namespace os
