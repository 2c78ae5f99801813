// The program's text codecs: Windows-1252, UTF-8, UTF-16 and code page 437.
#include <gtest/gtest.h>

#include "os/text.h"

namespace {

TEST(Win1252ToUtf8, ConvertsTheCodePagesUpperHalf) {
  EXPECT_EQ(os::text::Win1252ToUtf8("C:\\DONN\xC9"
                                    "ES\\"),
            "C:\\DONNÉES\\");
  EXPECT_EQ(os::text::Win1252ToUtf8("\x80 \x8A \x9F \xFF"), "€ Š Ÿ ÿ");
  // Bytes the code page leaves undefined keep their number.
  EXPECT_EQ(os::text::Win1252ToUtf8("\x81\x9D"), "\xC2\x81\xC2\x9D");
}

TEST(Utf8ToWin1252, IsTheReverseForEveryByteAndMarksTheRest) {
  std::string all;
  for (int byte = 1; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(os::text::Utf8ToWin1252(os::text::Win1252ToUtf8(all)), all);
  EXPECT_EQ(os::text::Utf8ToWin1252("日本"), "??");
  EXPECT_EQ(os::text::Utf8ToWin1252("a\xC3"), "a?");  // cut short
  EXPECT_EQ(os::text::Utf8ToWin1252("\xFF"
                                    "b"),
            "?b");                                      // never a lead byte
  EXPECT_EQ(os::text::Utf8ToWin1252("\xC3(x"), "?(x");  // a lead byte without its follower
  // What cannot be read becomes '?', never swallowing what follows.
  EXPECT_EQ(os::text::Utf8ToWin1252("\xF0\x9F\x98\x80!"), "?!");
  EXPECT_EQ(os::text::Utf8ToWin1252("x\xE2\x82"), "x??");
  EXPECT_EQ(os::text::Utf8ToWin1252("\xC0\xAF"), "??");  // overlong '/'
}

TEST(AsciiCase, FoldsOnlyTheAsciiLetters) {
  EXPECT_EQ(os::text::UpperCaseAscii("c:\\donn\xE9"
                                     "es\\a-z{}"),
            "C:\\DONN\xE9"
            "ES\\A-Z{}");
  EXPECT_EQ(os::text::LowerCaseAscii("@AZ[\xC9"), "@az[\xC9");
  EXPECT_TRUE(os::text::SameTextAscii("CVCopyScr.EXE", "cvcopyscr.exe"));
  EXPECT_FALSE(os::text::SameTextAscii("\xC9", "\xE9"));  // the code page's letters stay apart
  EXPECT_FALSE(os::text::SameTextAscii("@", "`"));        // 0x40 and 0x60 are no letters
  EXPECT_FALSE(os::text::SameTextAscii("ab", "abc"));
  EXPECT_TRUE(os::text::EndsWithTextAscii("SETUP.EXE", ".exe"));
  EXPECT_FALSE(os::text::EndsWithTextAscii("exe", ".exe"));
  EXPECT_TRUE(os::text::EndsWithTextAscii("", ""));
}

TEST(Utf16, RoundTripsEveryPlaneAndMarksBrokenInput) {
  const std::string text = "a\u00e9\u4e2d\U0001F600z";
  EXPECT_EQ(os::text::Utf8ToUtf16(text), u"a\u00e9\u4e2d\U0001F600z");
  EXPECT_EQ(os::text::Utf16ToUtf8(os::text::Utf8ToUtf16(text)), text);
  EXPECT_EQ(os::text::Utf8ToUtf16("x\xFFy"), u"x\uFFFDy");
  // A lone surrogate cannot be written as UTF-8.
  EXPECT_EQ(os::text::Utf16ToUtf8(std::u16string{u'a', char16_t{0xD800}, u'b'}),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(Utf8, ValidityRefusesOverlongSurrogatesAndTruncation) {
  EXPECT_TRUE(os::text::IsValidUtf8("plain \u00fcn\u00ef \U0001F600"));
  EXPECT_FALSE(os::text::IsValidUtf8("\xC0\xAF"));      // overlong '/'
  EXPECT_FALSE(os::text::IsValidUtf8("\xED\xA0\x80"));  // a surrogate
  EXPECT_FALSE(os::text::IsValidUtf8("\xE4\xB8"));      // cut short
  EXPECT_FALSE(os::text::IsValidUtf8("caf\x82.txt"));   // code page 437
}

TEST(Cp437, DecodesTheUpperHalfAsUnicode) {
  EXPECT_EQ(os::text::Cp437ToUtf8("caf\x82 \x81"
                                  "ber"),
            "caf\u00e9 \u00fcber");
  EXPECT_EQ(os::text::Cp437ToUtf8("\xC9\xCD\xBB \xE0\xE1 \xFF"),
            "\u2554\u2550\u2557 \u03b1\u00df \u00a0");
}

}  // namespace
