// Terminal queries and line input of the stand-in.
#include <termios.h>
#include <unistd.h>

#include <iostream>

#include "os/os.h"
#include "os/posix/paths.h"
#include "os/text.h"

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
  return text::Utf8ToWin1252(line);
}

}  // namespace os
