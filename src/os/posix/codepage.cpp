// Code pages to UTF-8 on the stand-in: the OEM page (437) and Windows-1252
// come from the shared codec, every other charset from the C library's iconv.
#include <iconv.h>

#include <cerrno>
#include <memory>

#include "os/os.h"
#include "os/text.h"

namespace os {

namespace {

bool IsCp437(const std::string& name) {
  return name.empty() || name == "cp437" || name == "ibm437" || name == "437" || name == "oem";
}

bool IsWindows1252(const std::string& name) {
  return name == "cp1252" || name == "windows-1252" || name == "1252";
}

struct IconvCloser {
  void operator()(iconv_t* cd) const {
    iconv_close(*cd);
    delete cd;
  }
};
using Iconv = std::unique_ptr<iconv_t, IconvCloser>;

Iconv OpenToUtf8(const std::string& charset) {
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return nullptr;
  return Iconv(new iconv_t(cd));
}

// Converts the whole text; a sequence the charset cannot map, or one cut
// short at the end, becomes one U+FFFD and the conversion goes on behind it.
std::string ConvertAll(iconv_t cd, std::string_view bytes) {
  std::string out;
  char buffer[1024];
  auto* in = const_cast<char*>(bytes.data());
  size_t inLeft = bytes.size();
  while (inLeft > 0) {
    char* to = buffer;
    size_t toLeft = sizeof buffer;
    const size_t result = iconv(cd, &in, &inLeft, &to, &toLeft);
    out.append(buffer, static_cast<size_t>(to - buffer));
    if (result != static_cast<size_t>(-1) || errno == E2BIG) continue;
    text::AppendUtf8(out, text::kReplacementCharacter);
    if (errno == EINVAL) break;  // cut short at the end
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  char* to = buffer;
  size_t toLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &to, &toLeft);
  out.append(buffer, static_cast<size_t>(to - buffer));
  return out;
}

}  // namespace

std::optional<std::string> CodePageToUtf8(std::string_view bytes, const std::string& charset) {
  const std::string name = text::LowerCaseAscii(charset);
  if (IsCp437(name)) return text::Cp437ToUtf8(bytes);
  if (IsWindows1252(name)) return text::Win1252ToUtf8(bytes);
  const Iconv cd = OpenToUtf8(charset);
  if (cd == nullptr) return std::nullopt;
  return ConvertAll(*cd, bytes);
}

}  // namespace os
