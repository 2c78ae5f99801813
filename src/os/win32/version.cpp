// Version resources through version.dll. VerQueryValueA answers text in the
// ANSI code page even from a Unicode resource, converting into the block.
#include <windows.h>

#include <algorithm>
#include <string_view>

#include "os/os.h"
#include "os/text.h"

namespace os {

std::vector<uint8_t> FileVersionInfo(const std::string& path) {
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
  if (size == 0) return {};
  std::vector<uint8_t> info(size, 0);
  ::GetFileVersionInfoA(path.c_str(), 0, size, info.data());
  return info;
}

std::optional<std::vector<uint8_t>> QueryVersionValue(const std::vector<uint8_t>& info,
                                                      const std::string& subBlock) {
  if (info.empty()) return std::nullopt;
  // VerQueryValueA writes its ANSI conversion into the block: work on a copy.
  std::vector<uint8_t> block = info;
  void* value = nullptr;
  UINT length = 0;
  if (!::VerQueryValueA(block.data(), subBlock.c_str(), &value, &length) || value == nullptr)
    return std::nullopt;
  const auto* first = static_cast<const uint8_t*>(value);
  const auto* blockEnd = block.data() + block.size();
  if (first < block.data() || first > blockEnd) return std::nullopt;
  size_t count = std::min<size_t>(length, static_cast<size_t>(blockEnd - first));
  std::string_view path(subBlock);
  while (!path.empty() && path.front() == '\\') path.remove_prefix(1);
  if (text::SameTextAscii(path.substr(0, 14), "StringFileInfo")) {
    size_t end = 0;
    while (end < count && first[end] != 0) ++end;
    count = end;
  }
  return std::vector<uint8_t>(first, first + count);
}

}  // namespace os
