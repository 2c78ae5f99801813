// Terminal queries and line input of the stand-in.
#include <errno.h>
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "os/os.h"
#include "os/posix/paths.h"

namespace os {

bool IsTerminal(int stream) {
  return ::isatty(stream) == 1;
}

std::optional<std::string> ReadConsoleLine(bool echo) {
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
  return posix::Utf8ToWin1252(line);
}

bool WriteStandardOutput(const void* data, size_t count) {
  const char* next = static_cast<const char*>(data);
  while (count > 0) {
    const ssize_t written = ::write(STDOUT_FILENO, next, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    next += written;
    count -= static_cast<size_t>(written);
  }
  return true;
}

}  // namespace os
