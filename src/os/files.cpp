// The file calls that are the same on every platform, built on the others.
#include "os/os.h"
#include "os/text.h"

namespace os {

bool FileExists(const std::string& path) {
  const uint32_t attributes = FileAttributes(path);
  return attributes != kInvalidFileAttributes && (attributes & faDirectory) == 0;
}

bool RemoveFileForcibly(const std::string& path) {
  // A read-only file refuses to go until it is writable.
  SetFileAttributes(path, faNormal);
  return RemoveFile(path);
}

bool IsDosDeviceName(std::string_view name) {
  // Windows looks at the name before its first dot, less trailing spaces.
  std::string_view stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
  const std::string upper = text::UpperCaseAscii(stem);
  if (upper == "CON" || upper == "PRN" || upper == "AUX" || upper == "NUL" || upper == "CONIN$" ||
      upper == "CONOUT$")
    return true;
  const std::string_view port = std::string_view(upper).substr(0, 3);
  if (port != "COM" && port != "LPT") return false;
  const std::string_view number = std::string_view(upper).substr(3);
  if (number.size() == 1) return number[0] >= '0' && number[0] <= '9';
  // The superscript digits one, two and three, which Windows also reads as
  // port numbers.
  return number == "\u00B9" || number == "\u00B2" || number == "\u00B3";
}

}  // namespace os
