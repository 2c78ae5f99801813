// The current user hive of the stand-in: <prefix>/user.reg in Wine's text
// format, read afresh whenever a key is opened, so that a test or the user may
// edit the file between two lookups. Text values come out as Windows-1252.
#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <string_view>

#include "os/os.h"
#include "os/posix/paths.h"
#include "os/text.h"

namespace os {

namespace {

// The rights that change a key; a hive file nobody may write grants none.
constexpr uint32_t kWriteRights = 0x0002 | 0x0004 | 0x0020 | 0x00010000 | 0x00040000 | 0x00080000;

struct PosixKey {
  std::vector<std::pair<std::string, RegistryValue>> values;  // names in Windows-1252
};

std::string Utf16ToUtf8(const std::vector<uint16_t>& units) {
  return os::text::Utf16ToUtf8(std::u16string(units.begin(), units.end()));
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an escaped text from pos up to the unescaped end character, leaving
// pos just past it; the result is UTF-8. False when the end never comes.
bool ParseEscaped(std::string_view line, size_t& pos, char end, std::string& out) {
  out.clear();
  while (pos < line.size() && line[pos] != end) {
    char c = line[pos++];
    if (c != '\\' || pos >= line.size()) {
      out += c;  // UTF-8 passes through unchanged
      continue;
    }
    c = line[pos++];
    switch (c) {
      case 'a':
        out += '\a';
        continue;
      case 'b':
        out += '\b';
        continue;
      case 'e':
        out += '\x1b';
        continue;
      case 'f':
        out += '\f';
        continue;
      case 'n':
        out += '\n';
        continue;
      case 'r':
        out += '\r';
        continue;
      case 't':
        out += '\t';
        continue;
      case 'v':
        out += '\v';
        continue;
      case 'x': {
        uint32_t unit = 0;
        int digits = 0;
        while (digits < 4 && pos < line.size() && HexDigit(line[pos]) >= 0) {
          unit = unit * 16 + static_cast<uint32_t>(HexDigit(line[pos++]));
          ++digits;
        }
        if (digits == 0) {
          out += 'x';
        } else if (unit >= 0xD800 && unit <= 0xDBFF && pos + 5 < line.size() && line[pos] == '\\' &&
                   line[pos + 1] == 'x') {
          // A character beyond the first plane is written as two escapes.
          uint32_t low = 0;
          size_t p = pos + 2;
          int lowDigits = 0;
          while (lowDigits < 4 && p < line.size() && HexDigit(line[p]) >= 0) {
            low = low * 16 + static_cast<uint32_t>(HexDigit(line[p++]));
            ++lowDigits;
          }
          if (low >= 0xDC00 && low <= 0xDFFF) {
            out += Utf16ToUtf8({static_cast<uint16_t>(unit), static_cast<uint16_t>(low)});
            pos = p;
          } else {
            out += Utf16ToUtf8({static_cast<uint16_t>(unit)});
          }
        } else {
          out += Utf16ToUtf8({static_cast<uint16_t>(unit)});
        }
        continue;
      }
      default:
        if (c >= '0' && c <= '7') {
          uint32_t value = static_cast<uint32_t>(c - '0');
          for (int k = 0; k < 2 && pos < line.size() && line[pos] >= '0' && line[pos] <= '7'; ++k)
            value = value * 8 + static_cast<uint32_t>(line[pos++] - '0');
          os::text::AppendUtf8(out, value);
          continue;
        }
        out += c;  // \\, \" and any other escaped character stand for themselves
    }
  }
  if (pos >= line.size()) return false;
  ++pos;
  return true;
}

// Comma-separated hex bytes, as hex: and hex(N): write them.
bool ParseHexBytes(std::string_view text, std::vector<uint8_t>& out) {
  out.clear();
  int high = -1;
  for (char c : text) {
    if (c == ',' || c == ' ' || c == '\t') {
      if (high >= 0) return false;  // a lone digit
      continue;
    }
    const int digit = HexDigit(c);
    if (digit < 0) return false;
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  return high < 0;
}

bool IsStringType(uint32_t type) {
  return type == kRegSz || type == kRegExpandSz || type == kRegMultiSz;
}

// What RegQueryValueExA hands back for a text: ANSI bytes ending in a zero.
std::vector<uint8_t> AnsiData(const std::string& utf8) {
  std::string ansi = text::Utf8ToWin1252(utf8);
  if (ansi.empty() || ansi.back() != '\0') ansi += '\0';
  return {ansi.begin(), ansi.end()};
}

// Parses the data after `name=`; false for a form the stand-in does not know.
bool ParseData(std::string_view text, RegistryValue& value) {
  size_t pos = 0;
  std::string utf8;
  if (text.starts_with("\"")) {
    pos = 1;
    if (!ParseEscaped(text, pos, '"', utf8)) return false;
    value = {kRegSz, AnsiData(utf8)};
    return true;
  }
  if (text.starts_with("str(")) {
    const size_t close = text.find("):\"");
    if (close == std::string_view::npos) return false;
    uint32_t type = 0;
    for (size_t i = 4; i < close; ++i) {
      const int digit = HexDigit(text[i]);
      if (digit < 0) return false;
      type = type * 16 + static_cast<uint32_t>(digit);
    }
    pos = close + 3;
    if (!ParseEscaped(text, pos, '"', utf8)) return false;
    value = {type, AnsiData(utf8)};
    return true;
  }
  if (text.starts_with("dword:")) {
    const std::string_view digits = text.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t number = 0;
    for (char c : digits) {
      const int digit = HexDigit(c);
      if (digit < 0) return false;
      number = number * 16 + static_cast<uint32_t>(digit);
    }
    value.type = kRegDword;
    value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                  static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
    return true;
  }
  uint32_t type = kRegBinary;
  std::string_view bytes;
  if (text.starts_with("hex:")) {
    bytes = text.substr(4);
  } else if (text.starts_with("hex(")) {
    const size_t close = text.find("):");
    if (close == std::string_view::npos || close == 4) return false;
    type = 0;
    for (size_t i = 4; i < close; ++i) {
      const int digit = HexDigit(text[i]);
      if (digit < 0 || type > 0x0FFFFFFF) return false;
      type = type * 16 + static_cast<uint32_t>(digit);
    }
    bytes = text.substr(close + 2);
  } else {
    return false;
  }
  std::vector<uint8_t> raw;
  if (!ParseHexBytes(bytes, raw)) return false;
  if (IsStringType(type)) {
    // Stored as UTF-16LE; the ANSI query converts it.
    std::vector<uint16_t> units;
    for (size_t i = 0; i + 1 < raw.size(); i += 2)
      units.push_back(static_cast<uint16_t>(raw[i] | (raw[i + 1] << 8)));
    value = {type, AnsiData(Utf16ToUtf8(units))};
  } else {
    value = {type, std::move(raw)};
  }
  return true;
}

bool SameKeyName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

// The hive's logical lines: a line ending in `\` goes on in the next one.
std::vector<std::string> LogicalLines(const std::string& content) {
  std::vector<std::string> lines;
  std::string current;
  bool continued = false;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string_view line(content.data() + start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (continued) {
      while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    }
    current += line;
    continued =
        !current.empty() && current.back() == '\\' && current.find("=hex") != std::string::npos;
    if (continued) {
      current.pop_back();
      continue;
    }
    lines.push_back(std::move(current));
    current.clear();
  }
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

// A key path in the form the hive stores it: `\`-separated, no outer `\`.
std::string CanonicalKey(const std::string& path) {
  std::string out;
  for (char c : path) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  if (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

// Loads the key at path (Windows-1252); false when the hive has no such key.
bool LoadKey(const std::string& path, PosixKey& key) {
  std::ifstream in(posix::WinePrefix() + "/user.reg", std::ios::binary);
  if (!in) return false;
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string wanted = CanonicalKey(path);
  bool found = wanted.empty();
  bool inKey = false;
  for (const std::string& line : LogicalLines(content)) {
    if (line.starts_with("[")) {
      size_t pos = 1;
      std::string name;
      inKey = false;
      if (!ParseEscaped(line, pos, ']', name)) continue;
      const std::string section = CanonicalKey(text::Utf8ToWin1252(name));
      if (SameKeyName(section, wanted)) {
        inKey = found = true;
      } else if (section.size() > wanted.size() &&
                 SameKeyName(std::string_view(section).substr(0, wanted.size()), wanted) &&
                 section[wanted.size()] == '\\') {
        found = true;  // a sub-key implies the key
      }
      continue;
    }
    if (!inKey || line.empty()) continue;
    std::string name;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (line[0] == '"') {
      pos = 1;
      if (!ParseEscaped(line, pos, '"', name)) continue;
    } else {
      continue;  // comments, #time= and other metadata
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    RegistryValue value;
    if (!ParseData(std::string_view(line).substr(pos + 1), value)) continue;
    name = text::Utf8ToWin1252(name);
    bool replaced = false;
    for (auto& [existing, old] : key.values) {
      if (SameKeyName(existing, name)) {
        old = value;
        replaced = true;
      }
    }
    if (!replaced) key.values.emplace_back(std::move(name), std::move(value));
  }
  return found;
}

bool HiveWritable() {
  struct stat st {};
  if (::stat((posix::WinePrefix() + "/user.reg").c_str(), &st) != 0) return true;
  return (st.st_mode & 0222) != 0;
}

}  // namespace

RegistryKey::~RegistryKey() {
  std::unique_ptr<PosixKey> owned(static_cast<PosixKey*>(handle_));
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    std::unique_ptr<PosixKey> owned(static_cast<PosixKey*>(handle_));
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

std::optional<RegistryValue> RegistryKey::Query(const std::string& name) const {
  if (handle_ == nullptr) return std::nullopt;
  for (const auto& [existing, value] : static_cast<const PosixKey*>(handle_)->values) {
    if (SameKeyName(existing, name)) return value;
  }
  return std::nullopt;
}

RegistryKey OpenCurrentUserKey(const std::string& path, uint32_t access) {
  RegistryKey result;
  // A hive file without write permission stands for keys the user may read
  // but not change: asking for more than reading is refused, as Windows would.
  if ((access & kWriteRights) != 0 && !HiveWritable()) return result;
  auto key = std::make_unique<PosixKey>();
  if (LoadKey(path, *key)) result.handle_ = key.release();
  return result;
}

}  // namespace os
