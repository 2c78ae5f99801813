// Implode: streams from a small encoder with evenly filled trees (whose codes
// can be worked out by hand), both dictionary sizes and tree counts, and the
// tree decoder against the plain reference on random trees.
#include <gtest/gtest.h>

#include <random>

#include "support/AbUnzReference.h"
#include "support/AbUnzTestSupport.h"
#include "zip/engine/AbUnzPrc.h"

namespace {

using namespace legacy_test;

// With 2^bits entries all of the same length, value x has the code
// count - 1 - x, sent most significant bit first.
void PutEven(BitWriter& w, int value, int bits) {
  const int code = (1 << bits) - 1 - value;
  for (int b = bits - 1; b >= 0; --b) w.Put(static_cast<uint32_t>((code >> b) & 1), 1);
}

void DescribeEven(BitWriter& w, int count, int bits) {
  w.Put(static_cast<uint32_t>(count / 16 - 1), 8);
  for (int i = 0; i < count / 16; ++i) w.Put(static_cast<uint32_t>(0xF0 | (bits - 1)), 8);
}

struct Imploder {
  BitWriter w;
  int trees;
  int dictionaryBits;
  Imploder(int treeCount, bool bigDictionary)
      : trees(treeCount), dictionaryBits(bigDictionary ? 7 : 6) {
    if (trees == 3) DescribeEven(w, 256, 8);
    DescribeEven(w, 64, 6);  // lengths
    DescribeEven(w, 64, 6);  // distances
  }
  void Literal(uint8_t b) {
    w.Put(1, 1);
    if (trees == 3)
      PutEven(w, b, 8);
    else
      w.Put(b, 8);
  }
  // Copies length bytes from distance back (distance >= 1).
  void Match(int distance, int length) {
    w.Put(0, 1);
    const int d = distance - 1;
    w.Put(static_cast<uint32_t>(d & ((1 << dictionaryBits) - 1)), dictionaryBits);
    PutEven(w, d >> dictionaryBits, 6);
    const int l = length - trees;
    PutEven(w, std::min(l, 63), 6);
    if (l >= 63) w.Put(static_cast<uint32_t>(l - 63), 8);
  }
  std::vector<uint8_t> Explode(int32_t size, std::vector<int>* progress = nullptr) const {
    DecodeSettings s;
    s.method = 6;
    s.uncompressedSize = size;
    s.treeCount = static_cast<uint8_t>(trees);
    s.dictionarySize = dictionaryBits == 7 ? 2 : 1;
    s.recordProgress = progress != nullptr;
    auto r = Decode(w.Bytes(), s);
    if (progress != nullptr) *progress = r.progress;
    return r.output;
  }
};

TEST(AbUnzImplode, BothTreeCountsAndDictionarySizes) {
  for (int trees : {2, 3}) {
    for (bool big : {false, true}) {
      SCOPED_TRACE(trees * 10 + big);
      Imploder im(trees, big);
      std::vector<uint8_t> expected;
      for (int i = 0; i < 9000; ++i) {
        const auto b = static_cast<uint8_t>(i * 31 + i / 200);
        im.Literal(b);
        expected.push_back(b);
      }
      // The shortest match (2 or 3 bytes), a long one with the extra length
      // byte, and the farthest distance for the dictionary.
      const int farthest = big ? 8192 : 4096;
      for (auto [distance, length] :
           {std::pair{1, trees}, {300, 100}, {farthest, 63 + trees + 200}, {4000, trees + 62}}) {
        im.Match(distance, length);
        for (int k = 0; k < length; ++k) expected.push_back(expected[expected.size() - distance]);
      }
      EXPECT_EQ(im.Explode(static_cast<int32_t>(expected.size())), expected);
    }
  }
}

TEST(AbUnzImplode, MatchBeforeTheStartGivesZeros) {
  Imploder im(2, false);
  im.Literal('q');
  im.Match(3, 4);  // two positions before the start, then 'q', then a zero
  EXPECT_EQ(im.Explode(5), (std::vector<uint8_t>{'q', 0, 0, 'q', 0}));
}

TEST(AbUnzImplode, StopsAtTheSizeAfterTheCrossingMatch) {
  Imploder im(3, true);
  im.Literal('a');
  im.Match(1, 10);
  im.Literal('b');
  EXPECT_EQ(im.Explode(4), std::vector<uint8_t>(11, 'a'));
}

TEST(AbUnzImplode, ProgressComesBeforeEachByteReadBack) {
  Imploder im(2, true);
  im.Literal('a');
  im.Match(1, 99);  // 100 bytes in all: every copied byte moves the percentage
  std::vector<int> progress;
  EXPECT_EQ(im.Explode(100, &progress), std::vector<uint8_t>(100, 'a'));
  std::vector<int> expected;
  for (int p = 1; p <= 100; ++p) expected.push_back(p);
  EXPECT_EQ(progress, expected);
}

TEST(AbUnzImplode, TreeThatDefinesTooManyEntriesIsRefused) {
  BitWriter w;
  w.Put(4, 8);  // five description bytes of 16 entries each: 80 > 64
  for (int i = 0; i < 5; ++i) w.Put(0xF5, 8);
  w.Put(0, 32);
  DecodeSettings s;
  s.method = 6;
  s.uncompressedSize = 10;
  s.treeCount = 2;
  EXPECT_THROW(Decode(w.Bytes(), s), ab::EAbZipCorruptData);
}

// Exposes the tree building blocks for the comparison below.
class TreeProbe : public ab::TAbUnzipHelper {
 public:
  TreeProbe(rtl::TStream& in, rtl::TStream& out) : TAbUnzipHelper(in, out, nullptr) {}
  std::vector<int> Symbols(int count, int n) {
    BeginInput();
    TShannonFanoTree tree;
    LoadShannonFanoTree(tree, static_cast<int16_t>(count));
    std::vector<int> symbols;
    for (int i = 0; i < n; ++i) symbols.push_back(DecodeTreeSymbol(tree));
    return symbols;
  }
};

TEST(AbUnzImplode, TreeDecodingMatchesTheReferenceOnRandomTrees) {
  std::mt19937 random(42);
  int irregular = 0;
  for (int round = 0; round < 3000; ++round) {
    const int count = round % 2 == 0 ? 64 : 256;
    BitWriter w;
    // Random descriptions: some complete codes made of few lengths, most not.
    std::vector<uint8_t> description;
    for (int defined = 0; defined < count;) {
      const int run = std::min<int>(count - defined, 1 + static_cast<int>(random() % 16));
      const int bits =
          round % 5 == 0 ? 1 + static_cast<int>(random() % 16) : 4 + static_cast<int>(random() % 6);
      description.push_back(static_cast<uint8_t>(((run - 1) << 4) | (bits - 1)));
      defined += run;
      if (random() % 10 == 0) break;  // leave the rest undefined
    }
    w.Put(static_cast<uint32_t>(description.size() - 1), 8);
    for (uint8_t d : description) w.Put(d, 8);
    const size_t treeBytes = w.Bytes().size();
    for (int i = 0; i < 300; ++i) w.Put(random() & 0xFF, 8);
    auto bytes = w.Bytes();
    // Some streams end early, to cover the bit-by-bit path near the end.
    if (round % 3 == 0) bytes.resize(treeBytes + random() % 40);

    rtl::TMemoryStream in(bytes), out;
    TreeProbe probe(in, out);
    probe.SetCompressedSize(static_cast<int32_t>(bytes.size()));
    const auto mine = probe.Symbols(count, 200);
    ReferenceDecoder ref(bytes, 0, static_cast<int32_t>(bytes.size()), 0);
    ASSERT_EQ(mine, ref.TreeSymbols(count, 200)) << "round " << round;
    irregular += round % 5 == 0;
  }
  EXPECT_GT(irregular, 100);
}

}  // namespace
