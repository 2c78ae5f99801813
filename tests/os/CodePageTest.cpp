// Code pages to UTF-8: the OEM page, the pages names are written in by
// Russian and Chinese systems, and charsets no system knows.
#include <gtest/gtest.h>

#include "os/os.h"

namespace {

TEST(CodePageToUtf8, ReadsTheCodePagesArchivesAreWrittenIn) {
  // "Привет" in the Russian DOS page and in the Russian Windows page.
  EXPECT_EQ(os::CodePageToUtf8("\x8F\xE0\xA8\xA2\xA5\xE2", "cp866"), "Привет");
  EXPECT_EQ(os::CodePageToUtf8("\xCF\xF0\xE8\xE2\xE5\xF2", "windows-1251"), "Привет");
  // "中文" in GBK, a double-byte page.
  EXPECT_EQ(os::CodePageToUtf8("\xD6\xD0\xCE\xC4", "gbk"), "中文");
  EXPECT_EQ(os::CodePageToUtf8("caf\xE9", "CP1252"), "café");
  EXPECT_EQ(os::CodePageToUtf8("\x81\xE1\xB0", "cp437"), "üß░");
}

TEST(CodePageToUtf8, TheDefaultIsTheOemPageAndKeepsAscii) {
  const auto ascii = os::CodePageToUtf8("docs/read me.txt", "");
  ASSERT_TRUE(ascii.has_value());
  EXPECT_EQ(*ascii, "docs/read me.txt");
  const auto high = os::CodePageToUtf8("\x81\xE1", "");
  ASSERT_TRUE(high.has_value());
  EXPECT_EQ(high->size(), 4u);  // two characters of two UTF-8 bytes each, whatever the page
}

TEST(CodePageToUtf8, BytesThePageCannotMapBecomeReplacementCharacters) {
  // A GBK lead byte cut short at the end, then one without a valid trail.
  EXPECT_EQ(os::CodePageToUtf8("a\xD6", "gbk"), "a\xEF\xBF\xBD");
  EXPECT_EQ(os::CodePageToUtf8("\xC3(x", "utf-8"),
            "\xEF\xBF\xBD"
            "(x");
}

TEST(CodePageToUtf8, AnUnknownCharsetGivesNothing) {
  EXPECT_FALSE(os::CodePageToUtf8("abc", "no-such-charset").has_value());
  EXPECT_FALSE(os::CodePageToUtf8("", "cp99999").has_value());
}

}  // namespace
