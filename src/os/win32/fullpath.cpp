// Full path names and the program's text in UTF-8, with the Windows calls.
#include <windows.h>

#include <string>
#include <vector>

#include "os/os.h"

namespace os {

namespace {

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return {};
  const int n =
      MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0)
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
  return wide;
}

std::string Narrow(const std::wstring& wide, UINT codePage) {
  if (wide.empty()) return {};
  const int n = WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), text.data(), n,
                        nullptr, nullptr);
  return text;
}

}  // namespace

std::string AnsiToUtf8(const std::string& ansi) {
  return Narrow(Widen(ansi, CP_ACP), CP_UTF8);
}
std::string Utf8ToAnsi(const std::string& utf8) {
  return Narrow(Widen(utf8, CP_UTF8), CP_ACP);
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::string ExpandFileName(const std::string& path) {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    char* namePart = nullptr;
    const DWORD n =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), &namePart);
    if (n == 0) return path;
    if (n < buffer.size()) return std::string(buffer.data(), n);
    buffer.resize(n + 1);
  }
}

}  // namespace os
