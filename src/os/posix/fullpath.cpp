// Full path names and the program's text in UTF-8, for the stand-in: paths
// come out in Windows form, with the Unix root reached through Z: as under Wine.
#include <unistd.h>

#include <string>
#include <vector>

#include "os/os.h"
#include "os/posix/paths.h"
#include "os/text.h"

namespace os {

std::string AnsiToUtf8(const std::string& ansi) {
  return text::Win1252ToUtf8(ansi);
}
std::string Utf8ToAnsi(const std::string& utf8) {
  return text::Utf8ToWin1252(utf8);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Utf8ToAnsi(argv[i]));
  return arguments;
}

namespace {

bool IsDriveLetter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// Appends the parts of text, resolving "." and ".." against those before.
void AppendParts(std::vector<std::string>& parts, const std::string& text) {
  std::string current;
  auto flush = [&] {
    if (current == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!current.empty() && current != ".") {
      parts.push_back(current);
    }
    current.clear();
  };
  for (char c : text) {
    if (c == '\\' || c == '/') {
      flush();
    } else {
      current += c;
    }
  }
  flush();
}

std::string CurrentFolder() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > (1u << 20)) return "/";
    buffer.resize(buffer.size() * 2);
  }
  return buffer.data();
}

}  // namespace

std::string ExpandFileName(const std::string& path) {
  if (path.empty()) return posix::WindowsPath(CurrentFolder());
  std::string root;
  std::string rest;
  std::vector<std::string> parts;
  const bool separatorFirst = path[0] == '\\' || path[0] == '/';
  if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') &&
      (path[1] == '\\' || path[1] == '/')) {
    // A network path keeps its server and share as the root.
    std::vector<std::string> unc;
    AppendParts(unc, path.substr(2));
    root = "\\\\";
    for (size_t i = 0; i < unc.size(); ++i) {
      if (i < 2) {
        root += (i == 1 ? "\\" : "") + unc[i];
      } else {
        parts.push_back(unc[i]);
      }
    }
  } else if (path.size() >= 2 && path[1] == ':' && IsDriveLetter(path[0])) {
    root = path.substr(0, 2);
    rest = path.substr(2);
  } else if (separatorFirst) {
    root = "Z:";  // a native absolute path, or the root of the current drive
    rest = path;
  } else {
    const std::string cwd = posix::WindowsPath(CurrentFolder());
    root = cwd.substr(0, 2);
    AppendParts(parts, cwd.substr(2));
    rest = path;
  }
  AppendParts(parts, rest);
  std::string out = root;
  for (const std::string& part : parts) out += "\\" + part;
  const char last = path.back();
  if (parts.empty() || last == '\\' || last == '/') out += '\\';
  return out;
}

}  // namespace os
