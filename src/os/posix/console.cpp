// Terminal queries and line input of the stand-in.
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "os/fs.h"
#include "os/os.h"
#include "os/posix/paths.h"
#include "os/text.h"

namespace os {

bool IsTerminal(int stream) {
  return ::isatty(stream) == 1;
}

std::optional<std::string> ReadConsoleLineUtf8(bool echo) {
  termios saved{};
  const bool terminal = ::tcgetattr(STDIN_FILENO, &saved) == 0;
  if (terminal && !echo) {
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::string line;
  const bool got = static_cast<bool>(std::getline(std::cin, line));
  if (terminal && !echo) {
    ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::cerr << '\n';
  }
  if (!got) return std::nullopt;
  return line;
}

std::optional<std::string> ReadConsoleLine(bool echo) {
  const std::optional<std::string> line = ReadConsoleLineUtf8(echo);
  if (!line) return std::nullopt;
  return text::Utf8ToWin1252(*line);
}

bool WriteStandardOutput(const void* data, size_t count) {
  return posix::WriteAll(STDOUT_FILENO, static_cast<const char*>(data), count);
}

}  // namespace os
