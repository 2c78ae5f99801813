// Unicode text and the two single-byte code pages the program knows by heart:
// Windows-1252, the program's own text, and code page 437, the OEM page that
// ZIP names are written in unless they say otherwise. Platform-neutral.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace os::text {

constexpr char32_t kNoCodePoint = 0xFFFFFFFF;
constexpr char32_t kReplacementCharacter = 0xFFFD;

void AppendUtf8(std::string& out, char32_t codePoint);
// The code point of UTF-8 that starts at text[i]; length receives the bytes it
// takes. A malformed sequence gives kNoCodePoint: a bad lead or continuation
// byte with a length of 1, a well-formed but overlong, surrogate or
// out-of-range sequence with its whole length, so that it counts as one bad
// character.
char32_t DecodeUtf8(std::string_view text, size_t i, size_t& length);
bool IsValidUtf8(std::string_view text);

std::string Win1252ToUtf8(std::string_view text);
// Characters that Windows-1252 lacks, and malformed bytes, become '?'.
std::string Utf8ToWin1252(std::string_view text);

// Malformed UTF-8 and lone surrogates become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

std::string Cp437ToUtf8(std::string_view text);

// Letter case of a-z and A-Z only, the way names and keywords compare on
// every code page; every other byte, accented letters included, stays as it
// is.
constexpr char UpperAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}
constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}
std::string UpperCaseAscii(std::string_view text);
std::string LowerCaseAscii(std::string_view text);
bool SameTextAscii(std::string_view a, std::string_view b);
bool EndsWithTextAscii(std::string_view text, std::string_view tail);

}  // namespace os::text
