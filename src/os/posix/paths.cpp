// Path mapping and text conversion of the stand-in, modelled on Wine: drive
// roots from the prefix's dosdevices, components matched without regard to
// ASCII case, Windows-1252 inside the program and UTF-8 on the disk.
#include "os/posix/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "os/os.h"

namespace os::posix {

namespace {

// Windows-1252 code points for 0x80-0x9F (0 where the code page has none:
// those five bytes stand for the C1 control of the same number, as on Windows).
constexpr char16_t kHigh1252[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr const char* kAttributeName = "user.DOSATTRIB";
constexpr uint32_t kKeptAttributes = faHidden | faSysFile;

void AppendUtf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// One code point of UTF-8 at text[i]; length receives the bytes it takes.
// Malformed input yields UINT32_MAX for a single byte.
uint32_t DecodeUtf8(std::string_view text, size_t i, size_t& length) {
  const auto lead = static_cast<unsigned char>(text[i]);
  length = 1;
  if (lead < 0x80) return lead;
  size_t extra = 0;
  uint32_t cp = 0;
  uint32_t minimum = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1, cp = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2, cp = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3, cp = lead & 0x07, minimum = 0x10000;
  } else {
    return UINT32_MAX;
  }
  if (i + extra >= text.size()) return UINT32_MAX;
  for (size_t k = 1; k <= extra; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) return UINT32_MAX;
    cp = (cp << 6) | (next & 0x3F);
  }
  length = extra + 1;
  if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return UINT32_MAX;
  return cp;
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Windows drops trailing dots and spaces from a name ("a.txt." is "a.txt"),
// but "." and ".." keep their meaning.
std::string TrimName(std::string name) {
  if (name.find_first_not_of('.') == std::string::npos) return name;
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

std::vector<std::string> SplitComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (IsSeparator(c)) {
      if (!current.empty()) parts.push_back(TrimName(std::move(current)));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(TrimName(std::move(current)));
  return parts;
}

bool Exists(const std::string& native) {
  struct stat st {};
  return ::lstat(native.c_str(), &st) == 0;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (!folder.empty() && folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

bool SameAsciiCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The name in folder that stands for name: the exact one if it exists, else
// an entry equal without regard to ASCII case, else name itself.
std::string MatchComponent(const std::string& folder, const std::string& name) {
  if (Exists(Join(folder, name))) return name;
  std::string match = name;
  if (DIR* dir = ::opendir(folder.c_str()); dir != nullptr) {
    while (const dirent* entry = ::readdir(dir)) {
      if (SameAsciiCase(entry->d_name, name)) {
        match = entry->d_name;
        break;
      }
    }
    ::closedir(dir);
  }
  return match;
}

// The native folder a drive letter stands for.
std::string DriveRoot(char letter) {
  const char lower = static_cast<char>(letter | 0x20);
  const std::string prefix = WinePrefix();
  const std::string device = prefix + "/dosdevices/" + lower + ":";
  if (char* real = ::realpath(device.c_str(), nullptr); real != nullptr) {
    std::string root = real;
    std::free(real);
    return root;
  }
  if (lower == 'c') return prefix + "/drive_c";
  if (lower == 'z') return "/";
  return device;  // a drive that is not there: every path on it fails
}

// The names of a native absolute path, as they are on the disk.
std::vector<std::string> NativeComponents(std::string_view native) {
  std::vector<std::string> names;
  size_t start = 0;
  while (start < native.size()) {
    const size_t end = std::min(native.find('/', start), native.size());
    if (end > start) names.emplace_back(native.substr(start, end - start));
    start = end + 1;
  }
  return names;
}

std::string Resolve(const std::string& windowsPath, bool lastAsSpelled) {
  if (windowsPath.empty()) return {};
  const std::string utf8 = Win1252ToUtf8(windowsPath);
  // Network paths (\\server\share) reach nothing here.
  if (utf8.size() >= 2 && IsSeparator(utf8[0]) && IsSeparator(utf8[1])) return {};

  std::string root;
  std::vector<std::string> stack;  // native names below root
  std::string_view rest = utf8;
  const bool hasDrive = utf8.size() >= 2 && utf8[1] == ':' &&
                        ((utf8[0] >= 'A' && utf8[0] <= 'Z') || (utf8[0] >= 'a' && utf8[0] <= 'z'));
  if (hasDrive) {
    root = DriveRoot(utf8[0]);
    rest.remove_prefix(2);
  } else {
    root = "/";
    if (!IsSeparator(utf8[0])) {
      if (char* cwd = ::getcwd(nullptr, 0); cwd != nullptr) {
        stack = NativeComponents(cwd);
        std::free(cwd);
      }
    }
  }
  const std::vector<std::string> parts = SplitComponents(rest);
  for (size_t i = 0; i < parts.size(); ++i) {
    const std::string& part = parts[i];
    if (part == ".") continue;
    if (part == "..") {
      // Never above the drive's root, as on Windows.
      if (!stack.empty()) stack.pop_back();
      continue;
    }
    std::string folder = root;
    for (const std::string& name : stack) folder = Join(folder, name);
    const bool last = i + 1 == parts.size();
    stack.push_back(lastAsSpelled && last ? part : MatchComponent(folder, part));
  }
  std::string native = root;
  for (const std::string& name : stack) native = Join(native, name);
  // A trailing separator names a folder: the system then refuses a file.
  if (IsSeparator(utf8.back()) && native.back() != '/') native += '/';
  return native;
}

}  // namespace

std::string WinePrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
    return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.wine";
}

std::string NativePath(const std::string& windowsPath) {
  return Resolve(windowsPath, false);
}

std::string NativePathForCreate(const std::string& windowsPath) {
  return Resolve(windowsPath, false);
}

std::string NativePathAsSpelled(const std::string& windowsPath) {
  return Resolve(windowsPath, true);
}

std::string WindowsPath(const std::string& nativePath) {
  std::string out = "Z:";
  for (char c : Utf8ToWin1252(nativePath)) out += c == '/' ? '\\' : c;
  if (out == "Z:") out += '\\';
  return out;
}

std::string Win1252ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) {
    if (c >= 0x80 && c < 0xA0 && kHigh1252[c - 0x80] != 0) {
      AppendUtf8(out, kHigh1252[c - 0x80]);
    } else {
      AppendUtf8(out, c);
    }
  }
  return out;
}

std::string Utf8ToWin1252(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    size_t length = 1;
    const uint32_t cp = DecodeUtf8(text, i, length);
    i += length;
    char mapped = '?';
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      mapped = static_cast<char>(cp);
    } else if (cp >= 0x80 && cp < 0xA0) {
      if (kHigh1252[cp - 0x80] == 0) mapped = static_cast<char>(cp);
    } else {
      for (int k = 0; k < 32; ++k) {
        if (kHigh1252[k] == cp) mapped = static_cast<char>(0x80 + k);
      }
    }
    out += mapped;
  }
  return out;
}

uint32_t StoredAttributes(const std::string& nativePath) {
  uint32_t attributes = 0;
  char value[32] = {};
  const ssize_t n = ::getxattr(nativePath.c_str(), kAttributeName, value, sizeof value - 1);
  if (n > 0) attributes = static_cast<uint32_t>(std::strtoul(value, nullptr, 16)) & kKeptAttributes;
  std::string_view name = nativePath;
  while (!name.empty() && name.back() == '/') name.remove_suffix(1);
  name = name.substr(name.find_last_of('/') + 1);
  if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= faHidden;
  return attributes;
}

void StoreAttributes(const std::string& nativePath, uint32_t attributes) {
  attributes &= kKeptAttributes;
  if (attributes == 0) {
    ::removexattr(nativePath.c_str(), kAttributeName);
    return;
  }
  char value[16];
  const int n = std::snprintf(value, sizeof value, "0x%x", attributes);
  ::setxattr(nativePath.c_str(), kAttributeName, value, static_cast<size_t>(n), 0);
}

}  // namespace os::posix
