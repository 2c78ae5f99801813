// Code pages to UTF-8 on the real Windows API: a charset name becomes a code
// page number, which MultiByteToWideChar converts; code page 437 comes from
// the shared codec, so that it reads the same on every system.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "os/os.h"
#include "os/text.h"

namespace os {

namespace {

// The number after a prefix ("cp866" with "cp"), or 0.
UINT NumberAfter(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size()) return 0;
  UINT value = 0;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || value > 100000) return 0;
    value = value * 10 + static_cast<UINT>(name[i] - '0');
  }
  return value;
}

struct NamedCodePage {
  const char* name;
  UINT codePage;
};

// The names iconv users type for the code pages Windows numbers.
constexpr NamedCodePage kNamed[] = {
    {"utf-8", CP_UTF8},   {"utf8", CP_UTF8},  {"gbk", 936},        {"gb2312", 936},
    {"big5", 950},        {"shift_jis", 932}, {"shift-jis", 932},  {"sjis", 932},
    {"euc-kr", 949},      {"uhc", 949},       {"euc-jp", 20932},   {"koi8-r", 20866},
    {"koi8-u", 21866},    {"latin1", 28591},  {"us-ascii", 20127}, {"ascii", 20127},
    {"macintosh", 10000}, {"mac", 10000},     {"gb18030", 54936},  {"tis-620", 874},
};

// 0 when the name is not known.
UINT CodePageOf(const std::string& charset) {
  const std::string name = text::LowerCaseAscii(charset);
  if (name.empty() || name == "oem") return CP_OEMCP;
  for (const NamedCodePage& named : kNamed) {
    if (name == named.name) return named.codePage;
  }
  if (const UINT iso = NumberAfter(name, "iso-8859-"); iso >= 1 && iso <= 16) return 28590 + iso;
  if (const UINT iso = NumberAfter(name, "iso8859-"); iso >= 1 && iso <= 16) return 28590 + iso;
  for (const char* prefix : {"cp", "ibm", "windows-", ""}) {
    if (const UINT number = NumberAfter(name, prefix); number != 0) return number;
  }
  return 0;
}

std::u16string Widen(UINT codePage, const char* bytes, int size, DWORD flags) {
  const int wide = ::MultiByteToWideChar(codePage, flags, bytes, size, nullptr, 0);
  if (wide <= 0) return std::u16string();
  std::u16string utf16(static_cast<size_t>(wide), u'\0');
  ::MultiByteToWideChar(codePage, flags, bytes, size, reinterpret_cast<wchar_t*>(utf16.data()),
                        wide);
  return utf16;
}

// A double-byte page one character at a time, so that a lead byte without a
// valid trail becomes U+FFFD as it does with iconv, not the page's default.
std::u16string WidenDoubleByte(UINT codePage, std::string_view bytes) {
  std::u16string out;
  for (size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<BYTE>(bytes[i]);
    const int length = ::IsDBCSLeadByteEx(codePage, lead) ? 2 : 1;
    std::u16string one;
    if (i + static_cast<size_t>(length) <= bytes.size())
      one = Widen(codePage, bytes.data() + i, length, MB_ERR_INVALID_CHARS);
    if (one.empty()) {
      out += static_cast<char16_t>(text::kReplacementCharacter);
      ++i;
    } else {
      out += one;
      i += static_cast<size_t>(length);
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> CodePageToUtf8(std::string_view bytes, const std::string& charset) {
  UINT codePage = CodePageOf(charset);
  if (codePage == CP_OEMCP) codePage = ::GetOEMCP();
  // The pages the program knows by heart read the same on every system.
  if (codePage == 437) return text::Cp437ToUtf8(bytes);
  if (codePage == 1252) return text::Win1252ToUtf8(bytes);
  if (codePage == CP_UTF8) return text::Utf16ToUtf8(text::Utf8ToUtf16(bytes));
  CPINFO info;
  if (codePage == 0 || !::IsValidCodePage(codePage) || !::GetCPInfo(codePage, &info))
    return std::nullopt;
  if (bytes.empty()) return std::string();
  if (info.MaxCharSize == 2) return text::Utf16ToUtf8(WidenDoubleByte(codePage, bytes));
  return text::Utf16ToUtf8(Widen(codePage, bytes.data(), static_cast<int>(bytes.size()), 0));
}

}  // namespace os
