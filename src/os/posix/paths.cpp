#include "os/posix/paths.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

#include "os/os.h"

namespace os::posix {

namespace {

// Windows-1252 code points for 0x80-0x9F (0 where the code page has none).
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

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

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

std::vector<std::string> SplitComponents(std::string_view path) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : path) {
    if (IsSeparator(c)) {
      if (!current.empty()) parts.push_back(std::move(current));
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(std::move(current));
  return parts;
}

bool Exists(const std::string& native) {
  struct stat st {};
  return ::lstat(native.c_str(), &st) == 0;
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

// The entry of folder whose name equals name without regard to ASCII case.
std::string MatchComponent(const std::string& folder, const std::string& name) {
  std::string candidate = folder + (folder == "/" ? "" : "/") + name;
  if (Exists(candidate)) return candidate;
  DIR* dir = ::opendir(folder.c_str());
  if (dir != nullptr) {
    while (const dirent* entry = ::readdir(dir)) {
      if (SameAsciiCase(entry->d_name, name)) {
        candidate = folder + (folder == "/" ? "" : "/") + entry->d_name;
        break;
      }
    }
    ::closedir(dir);
  }
  return candidate;
}

// The native folder a drive letter stands for.
std::string DriveRoot(char letter) {
  const char lower = static_cast<char>(letter | 0x20);
  const std::string prefix = WinePrefix();
  const std::string device = prefix + "/dosdevices/" + lower + ":";
  char buffer[4096];
  if (Exists(device)) {
    const ssize_t n = ::realpath(device.c_str(), buffer) ? static_cast<ssize_t>(1) : -1;
    if (n > 0) return buffer;
  }
  if (lower == 'c') return prefix + "/drive_c";
  if (lower == 'z') return "/";
  return device;
}

// Splits a Windows path into its native root and the components below it.
std::string MapRoot(const std::string& utf8, std::string_view& rest) {
  if (utf8.size() >= 2 && utf8[1] == ':' &&
      ((utf8[0] >= 'A' && utf8[0] <= 'Z') || (utf8[0] >= 'a' && utf8[0] <= 'z'))) {
    rest = std::string_view(utf8).substr(2);
    return DriveRoot(utf8[0]);
  }
  rest = utf8;
  if (!utf8.empty() && IsSeparator(utf8[0])) return "/";
  char cwd[4096];
  return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string(".");
}

std::string Resolve(const std::string& windowsPath, bool keepLast) {
  const std::string utf8 = Win1252ToUtf8(windowsPath);
  std::string_view rest;
  std::string native = MapRoot(utf8, rest);
  const std::vector<std::string> parts = SplitComponents(rest);
  for (size_t i = 0; i < parts.size(); ++i) {
    if (parts[i] == ".") continue;
    if (parts[i] == "..") {
      const size_t slash = native.find_last_of('/');
      native = slash == 0 || slash == std::string::npos ? "/" : native.substr(0, slash);
      continue;
    }
    if (keepLast && i + 1 == parts.size()) {
      native += (native == "/" ? "" : "/") + parts[i];
    } else {
      native = MatchComponent(native, parts[i]);
    }
  }
  // A trailing separator names the folder itself.
  return native;
}

}  // namespace

std::string WinePrefix() {
  if (const char* prefix = std::getenv("WINEPREFIX"); prefix != nullptr && *prefix != '\0')
    return prefix;
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.wine";
}

std::string NativePath(const std::string& windowsPath) { return Resolve(windowsPath, false); }

std::string NativePathForCreate(const std::string& windowsPath) {
  // An existing entry of another case is the one Windows would open.
  const std::string existing = Resolve(windowsPath, false);
  if (Exists(existing)) return existing;
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
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0xA0) {
      const char16_t cp = kHigh1252[c - 0x80];
      AppendUtf8(out, cp != 0 ? cp : c);
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
    const auto c = static_cast<unsigned char>(text[i]);
    uint32_t cp = 0;
    size_t length = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c & 0xE0) == 0xC0 && i + 1 < text.size()) {
      cp = ((c & 0x1F) << 6) | (text[i + 1] & 0x3F);
      length = 2;
    } else if ((c & 0xF0) == 0xE0 && i + 2 < text.size()) {
      cp = ((c & 0x0F) << 12) | ((text[i + 1] & 0x3F) << 6) | (text[i + 2] & 0x3F);
      length = 3;
    } else if ((c & 0xF8) == 0xF0 && i + 3 < text.size()) {
      cp = 0x110000;  // outside the code page
      length = 4;
    } else {
      cp = 0x110000;
    }
    i += length;
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (int k = 0; k < 32; ++k) {
      if (kHigh1252[k] != 0 && kHigh1252[k] == cp) mapped = static_cast<char>(0x80 + k);
    }
    out += mapped;
  }
  return out;
}

uint32_t StoredAttributes(const std::string& nativePath) {
  char value[16] = {};
  const ssize_t n = ::getxattr(nativePath.c_str(), "user.DOSATTRIB", value, sizeof value - 1);
  if (n <= 0) return faArchive;
  return static_cast<uint32_t>(std::strtoul(value, nullptr, 0));
}

void StoreAttributes(const std::string& nativePath, uint32_t attributes) {
  const std::string value = "0x" + [&] {
    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", attributes);
    return std::string(hex);
  }();
  // File systems without user attributes keep only the read-only bit.
  ::setxattr(nativePath.c_str(), "user.DOSATTRIB", value.data(), value.size(), 0);
}

}  // namespace os::posix
