// Masks and path helpers: the documented examples, and the wildcard matcher
// against a straightforward recursive matcher on random texts.
#include <gtest/gtest.h>

#include <random>

#include "archive/AbArcTyp.h"
#include "zip/engine/AbUtils.h"

namespace {

using namespace ab;

class NamedItem : public TAbArchiveItem {
 public:
  explicit NamedItem(const std::string& name) { SetItemName(name); }
};

bool Matches(const std::string& name, const std::string& mask) {
  return NamedItem(name).MatchesMaskList(mask);
}

// Tries every split a star could take.
bool ReferenceMatch(const std::string& s, size_t i, const std::string& p, size_t j) {
  if (j == p.size()) return i == s.size();
  if (p[j] == '*') {
    for (size_t k = i; k <= s.size(); ++k) {
      if (ReferenceMatch(s, k, p, j + 1)) return true;
    }
    return false;
  }
  if (i < s.size() && (p[j] == '?' || p[j] == s[i])) return ReferenceMatch(s, i + 1, p, j + 1);
  return false;
}

TEST(WildcardMatch, StarsQuestionMarksAndTheWholeNameRules) {
  EXPECT_TRUE(WildcardMatch("README", "*.*"));
  EXPECT_TRUE(WildcardMatch("README", "*"));
  EXPECT_FALSE(WildcardMatch("README", "*."));
  EXPECT_TRUE(WildcardMatch("README.", "*."));
  EXPECT_FALSE(WildcardMatch("A", "A?"));
  EXPECT_TRUE(WildcardMatch("A", "A*"));
  EXPECT_TRUE(WildcardMatch("XABYB", "*AB*B"));
  EXPECT_FALSE(WildcardMatch("XXAB", "*AB*B"));
  EXPECT_TRUE(WildcardMatch("A\\B\\C", "A*C"));  // a star crosses folders
  EXPECT_FALSE(WildcardMatch("", "*"));
  EXPECT_TRUE(WildcardMatch("", ""));
  EXPECT_FALSE(WildcardMatch("A", ""));
  EXPECT_FALSE(WildcardMatch("AB", "A"));
  EXPECT_FALSE(WildcardMatch("A", "AB"));
}

TEST(WildcardMatch, AgreesWithTryingEverySplit) {
  std::mt19937 random(20261208);
  const std::string sourceLetters = "AB.";
  const std::string patternLetters = "AB.*?";
  for (int round = 0; round < 20000; ++round) {
    std::string source, pattern;
    const int sourceLength = 1 + static_cast<int>(random() % 7);
    const int patternLength = static_cast<int>(random() % 7);
    for (int i = 0; i < sourceLength; ++i) source += sourceLetters[random() % 3];
    for (int i = 0; i < patternLength; ++i) pattern += patternLetters[random() % 5];
    const bool expected =
        pattern == "*.*" || pattern == "*" || ReferenceMatch(source, 0, pattern, 0);
    ASSERT_EQ(WildcardMatch(source, pattern), expected) << source << " vs " << pattern;
  }
}

TEST(WildcardMatch, ManyStarsOnALongNameFinishQuickly) {
  // Trying every split would take ages here; the matcher must not.
  const std::string name(60000, 'A');
  EXPECT_FALSE(WildcardMatch(name, "*A*A*A*A*A*A*A*A*B"));
  EXPECT_TRUE(WildcardMatch(name + "B", "*A*A*A*A*A*A*A*A*B"));
}

TEST(MaskList, ExamplesOfNamesAndFolders) {
  EXPECT_TRUE(Matches("README", "*.*"));
  EXPECT_TRUE(Matches("README", "*"));
  EXPECT_FALSE(Matches("README", "*.TXT"));
  EXPECT_TRUE(Matches("NOTES.TXT", "*.txt"));
  for (const char* mask :
       {"*.TXT", "DOCS\\*.TXT", "docs/*.txt", "C:\\DOCS\\*.TXT", "\\\\SERVER\\SHARE\\DOCS\\*.TXT"})
    EXPECT_TRUE(Matches("docs/readme.txt", mask)) << mask;
  EXPECT_FALSE(Matches("docs/readme.txt", "OTHER\\*.TXT"));
  EXPECT_TRUE(Matches("readme.txt", "*.TXT"));
  EXPECT_FALSE(Matches("readme.txt", "DOCS\\*.TXT"));
  EXPECT_FALSE(Matches("readme.txt", "*\\*.TXT"));
  EXPECT_TRUE(Matches("a/b/c/readme.txt", "*\\*.TXT"));
}

TEST(MaskList, PiecesSeparatorsAndFolderEntries) {
  EXPECT_FALSE(Matches("docs/", "*.*"));
  EXPECT_FALSE(Matches("docs/", "*"));
  EXPECT_TRUE(Matches("docs/", "*.TXT;;*.DOC"));
  EXPECT_FALSE(Matches("a.txt", ""));
  EXPECT_TRUE(Matches("a.doc", "*.TXT; *.DOC"));
  EXPECT_TRUE(Matches("a.txt", " *.TXT\t;"));
  EXPECT_FALSE(Matches("docs/", "*.TXT;"));  // a trailing ';' adds no piece
  EXPECT_TRUE(Matches("a.adi", "*.ADT;*.ADI"));
}

TEST(MaskList, OnlyAsciiLettersIgnoreCase) {
  // 0xE9 and 0xC9 are e and E with an acute accent in Windows-1252.
  EXPECT_FALSE(Matches("\xE9t\xE9.txt", "\xC9T\xC9.TXT"));
  EXPECT_TRUE(Matches("\xE9t\xE9.txt", "\xE9T\xE9.TXT"));
}

TEST(PathHelpers, SplitPathSpecDrivesAndShares) {
  TAbPathSpec pathSpec = SplitPathSpec("C:\\DOCS\\*.TXT");
  EXPECT_EQ(pathSpec.drive, "C:");
  EXPECT_EQ(pathSpec.folder, "DOCS\\");
  EXPECT_EQ(pathSpec.name, "*.TXT");
  pathSpec = SplitPathSpec("\\\\SERVER\\SHARE\\DOCS\\*.TXT");
  EXPECT_EQ(pathSpec.drive, "\\\\SERVER\\SHARE");
  EXPECT_EQ(pathSpec.folder, "DOCS\\");
  pathSpec = SplitPathSpec("c:/x/y.z");
  EXPECT_EQ(pathSpec.drive, "c:");
  EXPECT_EQ(pathSpec.folder, "x\\");
  EXPECT_EQ(pathSpec.name, "y.z");
  pathSpec = SplitPathSpec("C:");
  EXPECT_EQ(pathSpec.drive, "C:");
  EXPECT_EQ(pathSpec.folder, "");
  EXPECT_EQ(pathSpec.name, "");
  pathSpec = SplitPathSpec("\\\\SERVER");  // fewer than four backslashes
  EXPECT_EQ(pathSpec.drive, "\\\\");
  EXPECT_EQ(pathSpec.folder, "");
  EXPECT_EQ(pathSpec.name, "SERVER");
}

TEST(PathHelpers, NthBackslashPosAndSlashes) {
  EXPECT_EQ(NthBackslashPos("\\\\S\\T\\X", 4), 5);
  EXPECT_EQ(NthBackslashPos("\\A", 1), 0);
  EXPECT_EQ(NthBackslashPos("ABC", 1), 3);
  std::string text = "a/b\\c/";
  SlashesToBackslashes(text);
  EXPECT_EQ(text, "a\\b\\c\\");
  EXPECT_EQ(FolderPart("C:X"), "C:");
  EXPECT_EQ(NamePart("a\\b:c"), "c");
}

TEST(DosDateTime, DecodesTheStoredFields) {
  const TAbDosDateTime t = DecodeDosDateTime(0x5A8E, 0x6000 | (30 << 5) | 29);
  EXPECT_EQ(t.year, 2025);
  EXPECT_EQ(t.month, 4);
  EXPECT_EQ(t.day, 14);
  EXPECT_EQ(t.hour, 12);
  EXPECT_EQ(t.minute, 30);
  EXPECT_EQ(t.second, 58);
}

}  // namespace
