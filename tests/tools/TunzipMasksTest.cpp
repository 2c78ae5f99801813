// tunzip's masks: the members UnZip 6.00 chooses for each mask on one archive
// (each row was run through `unzip -Z1` on an archive of these names), the
// places where tunzip counts characters rather than bytes, and the matcher
// against a plain recursive one on random texts.
#include <gtest/gtest.h>

#include <random>

#include "tunzip/Masks.h"

namespace {

using tunzip::MaskMatches;
using tunzip::MemberChoice;

const std::vector<std::string> kNames = {
    "tree/",         "tree/sub/", "tree/sub/c.c", "tree/b.c",     "Tree.TXT", "a.txt",
    "[x].txt",       "a\\b.txt",  "x/y/z.h",      "\xC3\xA9.txt",  // é.txt
    "\xC3\x89X.txt",                                               // ÉX.txt
    "star*.txt",     "q?.txt",    "-dash",        "a.b.c",        ".hidden",  "x/.h"};

std::string Chosen(const std::string& mask, bool caseBlind = false) {
  std::string chosen;
  for (const std::string& name : kNames) {
    if (MaskMatches(mask, name, caseBlind)) chosen += (chosen.empty() ? "" : " ") + name;
  }
  return chosen;
}

TEST(TunzipMasks, ChooseWhatUnZipChooses) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"tree/*", "tree/ tree/sub/ tree/sub/c.c tree/b.c"},
      {"tree/*.c", "tree/sub/c.c tree/b.c"},
      {"*.c", "tree/sub/c.c tree/b.c a.b.c"},
      {"*/*", "tree/ tree/sub/ tree/sub/c.c tree/b.c x/y/z.h x/.h"},
      {"tree", ""},
      {"tree/", "tree/"},
      {"tree/sub", ""},
      {"tree/s*", "tree/sub/ tree/sub/c.c"},
      {"tree/*/", "tree/sub/"},
      {"?.txt", "a.txt \xC3\xA9.txt"},  // UnZip: a.txt, see below
      {"a?txt", "a.txt"},
      {"x/?/*", "x/y/z.h"},
      {"[a-c]*", "a.txt a\\b.txt a.b.c"},
      {"[^a-t]*", "Tree.TXT [x].txt x/y/z.h \xC3\xA9.txt \xC3\x89X.txt -dash .hidden x/.h"},
      {"[!a-c]*",
       "tree/ tree/sub/ tree/sub/c.c tree/b.c Tree.TXT [x].txt x/y/z.h \xC3\xA9.txt \xC3\x89X.txt "
       "star*.txt q?.txt -dash .hidden x/.h"},
      {"[-a]*", "a.txt a\\b.txt -dash a.b.c"},
      {"[\\-]*", "-dash"},
      {"[[]x].txt", "[x].txt"},
      {"\\[x].txt", "[x].txt"},
      {"[x].txt", ""},
      {"a\\b.txt", ""},
      {"a\\\\b.txt", "a\\b.txt"},
      {"star\\*.txt", "star*.txt"},
      {"q\\?.txt", "q?.txt"},
      {"*.TXT", "Tree.TXT"},
      {"*.", ""},
      {"*.*",
       "tree/sub/c.c tree/b.c Tree.TXT a.txt [x].txt a\\b.txt x/y/z.h \xC3\xA9.txt \xC3\x89X.txt "
       "star*.txt q?.txt a.b.c .hidden x/.h"},
      {"x/*.h", "x/y/z.h x/.h"},
      {".*", ".hidden"},
      {"*/.*", "x/.h"},
      // Sets that never close, close at once, or run backwards match nothing.
      {"[", ""},
      {"[a", ""},
      {"a[", ""},
      {"[]x]*", ""},
      {"[a-]*", ""},
      {"[z-a]*", ""},
  };
  for (const auto& [mask, expected] : cases) EXPECT_EQ(Chosen(mask), expected) << mask;
}

TEST(TunzipMasks, CaseBlindAsUnZipsDashC) {
  EXPECT_EQ(Chosen("TREE/*", true), "tree/ tree/sub/ tree/sub/c.c tree/b.c");
  EXPECT_EQ(Chosen("Tree.txt", true), "Tree.TXT");
  EXPECT_EQ(Chosen("*.txt", true),
            "Tree.TXT a.txt [x].txt a\\b.txt \xC3\xA9.txt \xC3\x89X.txt star*.txt q?.txt");
  EXPECT_EQ(Chosen("[A-Z]*", true),
            "tree/ tree/sub/ tree/sub/c.c tree/b.c Tree.TXT a.txt a\\b.txt x/y/z.h star*.txt "
            "q?.txt a.b.c x/.h");
  EXPECT_EQ(Chosen("[!a]*.txt", true),
            "Tree.TXT [x].txt \xC3\xA9.txt \xC3\x89X.txt star*.txt q?.txt");
  EXPECT_EQ(Chosen("[a\\-]*", true), "a.txt a\\b.txt -dash a.b.c");
}

// UnZip compares bytes: its ? takes half of an é and its [é] the first byte of
// any accented letter. tunzip compares characters, and -C knows accented,
// Greek and Cyrillic capitals too.
TEST(TunzipMasks, CharactersNotBytes) {
  EXPECT_EQ(Chosen("?X.txt"), "\xC3\x89X.txt");                            // UnZip: nothing
  EXPECT_EQ(Chosen("??.txt"), "\xC3\x89X.txt q?.txt");                     // UnZip: é.txt q?.txt
  EXPECT_EQ(Chosen("[\xC3\xA9]*"), "\xC3\xA9.txt");                        // UnZip: é.txt ÉX.txt
  EXPECT_EQ(Chosen("\xC3\xA9*", true), "\xC3\xA9.txt \xC3\x89X.txt");      // UnZip: é.txt
  EXPECT_TRUE(MaskMatches("\xCE\xB1*", "\xCE\x91\xCE\x92.txt", true));     // Greek
  EXPECT_TRUE(MaskMatches("\xD0\xB6*", "\xD0\x96.txt", true));             // Cyrillic
  EXPECT_TRUE(MaskMatches("[\xD0\xB0-\xD1\x8F]*", "\xD0\x96.txt", true));  // [а-я] Ж
  EXPECT_FALSE(MaskMatches("[\xD0\xB0-\xD1\x8F]*", "\xD0\x96.txt", false));
  EXPECT_TRUE(MaskMatches("\xC5\xBE*", "\xC5\xBD.txt", true));  // ž Ž
  EXPECT_FALSE(MaskMatches("i*", "\xC4\xB0.txt", true));        // dotted capital I stays apart
  // A byte that is no UTF-8 matches only itself, never half a character.
  EXPECT_TRUE(MaskMatches("?.txt", "\xFF.txt", false));
  EXPECT_TRUE(MaskMatches("\xFF*", "\xFF.txt", false));
  EXPECT_FALSE(MaskMatches("\xC3*", "\xC3\xA9.txt", false));
  // UnZip finds nothing for these two; the rules say both should match.
  EXPECT_TRUE(MaskMatches("*\\*.txt", "star*.txt", false));
  EXPECT_TRUE(MaskMatches("tree/**", "tree/", false));
}

// The same grammar as a plain recursion over the mask, for random checks.
bool Reference(const std::string& mask, size_t m, const std::string& name, size_t n) {
  if (m == mask.size()) return n == name.size();
  if (mask[m] == '*') {
    for (size_t k = n; k <= name.size(); ++k)
      if (Reference(mask, m + 1, name, k)) return true;
    return false;
  }
  if (n == name.size()) return false;
  if (mask[m] == '[') {  // the random masks hold only closed sets of single letters
    const size_t close = mask.find(']', m);
    const bool negated = mask[m + 1] == '!';
    const std::string set = mask.substr(m + 1 + negated, close - m - 1 - negated);
    if ((set.find(name[n]) != std::string::npos) == negated) return false;
    return Reference(mask, close + 1, name, n + 1);
  }
  if (mask[m] != '?' && mask[m] != name[n]) return false;
  return Reference(mask, m + 1, name, n + 1);
}

TEST(TunzipMasks, AgreeWithARecursiveMatcherOnRandomTexts) {
  std::mt19937 random(12);
  const std::string letters = "ab/";
  auto pick = [&](size_t n) { return letters[random() % n]; };
  for (int round = 0; round < 20000; ++round) {
    std::string name, mask;
    for (size_t k = random() % 9; k > 0; --k) name += pick(3);
    for (size_t k = random() % 7; k > 0; --k) {
      switch (random() % 5) {
        case 0:
          mask += '*';
          break;
        case 1:
          mask += '?';
          break;
        case 2:
          mask += std::string(random() % 2 ? "[!" : "[") + pick(3) + pick(2) + "]";
          break;
        default:
          mask += pick(3);
      }
    }
    ASSERT_EQ(MaskMatches(mask, name, false), Reference(mask, 0, name, 0))
        << "mask " << mask << " name " << name;
  }
}

TEST(TunzipMasks, AChoiceRemembersWhatMatchedNothing) {
  MemberChoice choice({"*.c", "a.txt", "none*"}, {"tree/sub/*", "zz*", "a.txt"}, false);
  std::vector<std::string> chosen;
  for (const std::string& name : kNames)
    if (choice.Chooses(name)) chosen.push_back(name);
  EXPECT_EQ(chosen, (std::vector<std::string>{"tree/b.c", "a.b.c"}));
  // a.txt matched (and was then excluded): only none* chose nothing.
  EXPECT_EQ(choice.UnmatchedMasks(), std::vector<std::string>{"none*"});
  EXPECT_EQ(choice.UnmatchedExcludes(), std::vector<std::string>{"zz*"});

  MemberChoice everything({}, {"*.txt"}, false);
  EXPECT_TRUE(everything.Chooses("a.c"));
  EXPECT_FALSE(everything.Chooses("a.txt"));
  EXPECT_TRUE(everything.UnmatchedMasks().empty());
  EXPECT_TRUE(everything.UnmatchedExcludes().empty());
}

}  // namespace
