#include "Names.h"

#include <algorithm>
#include <cstdio>

#include "os/os.h"
#include "os/text.h"

namespace tunzip {

namespace {

std::string Escape(const char* format, unsigned value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string EscapeControls(std::string_view utf8) {
  // Most names are printable ASCII, which stays as it is.
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return c >= 0x20 && c < 0x7F; }))
    return std::string(utf8);
  std::string out;
  for (const char32_t c : Characters(utf8)) {
    if (c < 0x20 || c == 0x7F) {
      out += Escape("\\x%02X", static_cast<unsigned>(c));
    } else if (c >= kStrayByte && c <= kStrayByte + 0xFF) {
      out += Escape("\\x%02X", static_cast<unsigned>(c - kStrayByte));
    } else if (c >= 0x80 && c <= 0x9F) {
      out += Escape("\\u%04X", static_cast<unsigned>(c));
    } else {
      os::text::AppendUtf8(out, c);
    }
  }
  return out;
}

}  // namespace

std::u32string Characters(std::string_view utf8) {
  std::u32string out;
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 1;
    const char32_t c = os::text::DecodeUtf8(utf8, i, length);
    if (c == os::text::kNoCodePoint) {
      for (size_t k = 0; k < length; ++k)
        out.push_back(kStrayByte + static_cast<unsigned char>(utf8[i + k]));
    } else {
      out.push_back(c);
    }
    i += length;
  }
  return out;
}

std::string MemberName(const zip::Entry& entry) {
  return entry.Name();
}

std::string ShownName(const std::string& ansi) {
  return EscapeControls(os::AnsiToUtf8(ansi));
}

std::string ShownUtf8Name(const std::string& utf8) {
  return EscapeControls(utf8);
}

std::string ShownMemberName(const zip::Entry& entry) {
  const std::string& name = entry.Name();
  if (name.empty()) return "(unnamed member " + std::to_string(entry.Index() + 1) + ")";
  return EscapeControls(name);
}

}  // namespace tunzip
