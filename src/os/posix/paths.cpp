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
#include "os/text.h"

namespace os::posix {

namespace {

constexpr const char* kAttributeName = "user.DOSATTRIB";
constexpr uint32_t kKeptAttributes = faHidden | faSysFile;

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

// The name in folder that stands for name: the exact one if it exists, else
// an entry equal without regard to ASCII case, else name itself.
std::string MatchComponent(const std::string& folder, const std::string& name) {
  if (Exists(Join(folder, name))) return name;
  std::string match = name;
  if (DIR* dir = ::opendir(folder.c_str()); dir != nullptr) {
    while (const dirent* entry = ::readdir(dir)) {
      if (text::SameTextAscii(entry->d_name, name)) {
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
  const char lower = text::LowerAscii(letter);
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
  const std::string utf8 = text::Win1252ToUtf8(windowsPath);
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
  for (char c : text::Utf8ToWin1252(nativePath)) out += c == '/' ? '\\' : c;
  if (out == "Z:") out += '\\';
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
