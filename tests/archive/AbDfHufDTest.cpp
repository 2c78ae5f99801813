// The decoding tables' fixed sizes against an enumeration of every code the
// builder accepts, and the table a worst-case code really needs.
//
// A table is its first level (2^r entries for r main bits) plus one subtable
// per first-level prefix that holds longer codes, 2^w entries for a prefix
// whose longest code is w bits longer than r. Codes are canonical, so the
// prefixes fill from left to right with codes that never get shorter: a
// prefix whose codes reach depth w (below the first level) forces every code
// of the following prefixes to be at least w deep. A complete prefix of
// depth w whose codes are at least a deep holds at least 2^a + w - a codes
// (2^a - 1 at depth a and a chain down to two at depth w); the one incomplete
// prefix that an incomplete code may end with holds a single code. The
// largest table is then the best use of the symbols over such prefixes,
// which a small dynamic program finds.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "zip/engine/AbDfHufD.h"

using namespace ab;
using Tree = TAbDfDecodeHuffmanTree;

namespace {

struct TPrefix {
  int shallowest;  // depth below the first level of its first codes
  int depth;       // of its deepest code
  bool complete;
};

struct TWorstCase {
  size_t entries = 0;
  std::vector<TPrefix> prefixes;  // from the left, for the largest count
};

int CodesFor(const TPrefix& p) {
  return p.complete ? (1 << p.shallowest) + p.depth - p.shallowest : 1;
}

// The largest table for up to `symbols` codes of at most maxLength bits with
// mainBits first-level bits; complete codes only, or incomplete ones too.
TWorstCase LargestTable(int symbols, int mainBits, int maxLength, bool incomplete) {
  const int deepest = maxLength - mainBits;
  // best[a][c]: the most subtable entries from prefixes whose codes are at
  // least a deep, with c codes left, when the code may stop there (every
  // prefix so far complete, unused prefixes left empty: incomplete) or must
  // fill exactly the prefixes it has (complete: tracked per prefix count).
  TWorstCase result;
  result.entries = size_t{1} << std::min(mainBits, maxLength);
  if (incomplete) {
    std::vector<std::vector<long>> best(deepest + 2, std::vector<long>(symbols + 1, 0));
    std::vector<std::vector<TPrefix>> choice(deepest + 2, std::vector<TPrefix>(symbols + 1));
    for (int c = 0; c <= symbols; ++c) {
      for (int a = deepest; a >= 1; --a) {
        long value = 0;
        TPrefix chosen{a, 0, false};
        for (int w = a; w <= deepest; ++w) {
          if (c >= 1 && (1L << w) > value) {
            value = 1L << w;
            chosen = {a, w, false};
          }
          const TPrefix full{a, w, true};
          const int cost = CodesFor(full);
          if (cost <= c && (1L << w) + best[w][c - cost] > value) {
            value = (1L << w) + best[w][c - cost];
            chosen = full;
          }
        }
        best[a][c] = value;
        choice[a][c] = chosen;
      }
    }
    result.entries += static_cast<size_t>(best[1][symbols]);
    for (int a = 1, c = symbols; c > 0 && choice[a][c].depth > 0;) {
      const TPrefix p = choice[a][c];
      result.prefixes.push_back(p);
      if (!p.complete) break;
      c -= CodesFor(p);
      a = p.depth;
    }
    return result;
  }
  // Complete codes: k prefixes left open by the short codes, all filled.
  const int most = symbols / 2 + 1;
  std::vector<long> fill((most + 1) * (deepest + 2) * (symbols + 1), -1);
  auto at = [&](int k, int a, int c) -> long& {
    return fill[(static_cast<size_t>(k) * (deepest + 2) + a) * (symbols + 1) + c];
  };
  for (int a = 0; a <= deepest + 1; ++a)
    for (int c = 0; c <= symbols; ++c) at(0, a, c) = 0;
  for (int k = 1; k <= most; ++k)
    for (int a = 1; a <= deepest; ++a)
      for (int c = 0; c <= symbols; ++c)
        for (int w = a; w <= deepest; ++w) {
          const int cost = CodesFor({a, w, true});
          if (cost <= c && at(k - 1, w, c - cost) >= 0)
            at(k, a, c) = std::max(at(k, a, c), (1L << w) + at(k - 1, w, c - cost));
        }
  long subtables = 0;
  for (int k = 1; k <= std::min(most, 1 << mainBits); ++k) {
    const int shortCodes = __builtin_popcount((1u << mainBits) - static_cast<unsigned>(k));
    if (shortCodes <= symbols && at(k, 1, symbols - shortCodes) >= 0)
      subtables = std::max(subtables, at(k, 1, symbols - shortCodes));
  }
  if (subtables > 0) result.entries = (size_t{1} << mainBits) + static_cast<size_t>(subtables);
  return result;
}

// Code lengths for the prefixes of a worst case, no first-level codes.
std::vector<uint8_t> LengthsFor(const TWorstCase& worst, int mainBits) {
  std::vector<uint8_t> lengths;
  auto add = [&](int depth, int count) {
    lengths.insert(lengths.end(), static_cast<size_t>(count),
                   static_cast<uint8_t>(mainBits + depth));
  };
  for (const TPrefix& p : worst.prefixes) {
    if (!p.complete) {
      add(p.depth, 1);
    } else if (p.depth == p.shallowest) {
      add(p.depth, 1 << p.depth);
    } else {
      add(p.shallowest, (1 << p.shallowest) - 1);
      for (int d = p.shallowest + 1; d < p.depth; ++d) add(d, 1);
      add(p.depth, 2);
    }
  }
  return lengths;
}

}  // namespace

TEST(HuffmanTables, TheEnumerationFindsZlibsPublishedMaxima) {
  // The same layout with zlib's first levels gives the sizes zlib publishes
  // for its own tables (complete codes, 286 and 30 symbols, 9 and 6 bits).
  EXPECT_EQ(LargestTable(286, 9, 15, false).entries, 852u);
  EXPECT_EQ(LargestTable(30, 6, 15, false).entries, 592u);
  EXPECT_EQ(LargestTable(286, 10, 15, false).entries, 1332u);
}

TEST(HuffmanTables, CapacitiesAreTheLargestTablesOfEveryAcceptedCode) {
  // Up to 288 literal/length and 32 distance symbols, incomplete codes
  // included (Deflate64), which need more than complete ones.
  const size_t litLen = std::max(LargestTable(288, Tree::kLitLenMainBits, 15, true).entries,
                                 LargestTable(288, Tree::kLitLenMainBits, 15, false).entries);
  const size_t distance = std::max(LargestTable(32, Tree::kDistanceMainBits, 15, true).entries,
                                   LargestTable(32, Tree::kDistanceMainBits, 15, false).entries);
  EXPECT_EQ(Tree::kLitLenCapacity, litLen);
  EXPECT_EQ(Tree::kDistanceCapacity, distance);
  EXPECT_EQ(Tree::kCodeLengthCapacity, 128u);  // one level: 7-bit codes at most
  // Plain Deflate, complete codes of 286 and 30 symbols.
  EXPECT_EQ(LargestTable(286, Tree::kLitLenMainBits, 15, false).entries, 2340u);
  EXPECT_EQ(LargestTable(30, Tree::kDistanceMainBits, 15, false).entries, 400u);
}

TEST(HuffmanTables, TheWorstCodesFillTheirTablesExactly) {
  {
    const TWorstCase worst = LargestTable(286, Tree::kLitLenMainBits, 15, true);
    std::vector<uint8_t> lengths = LengthsFor(worst, Tree::kLitLenMainBits);
    ASSERT_LE(lengths.size(), 286u);
    auto tree = std::make_unique<TAbDfLitLenTree>();
    tree->Build(lengths.data(), static_cast<int>(lengths.size()), true);
    EXPECT_EQ(tree->TableSize(), worst.entries);
    EXPECT_THROW(tree->Build(lengths.data(), static_cast<int>(lengths.size()), false),
                 std::exception);  // incomplete: plain Deflate refuses it
  }
  {
    const TWorstCase worst = LargestTable(32, Tree::kDistanceMainBits, 15, true);
    std::vector<uint8_t> lengths = LengthsFor(worst, Tree::kDistanceMainBits);
    ASSERT_LE(lengths.size(), 32u);
    auto tree = std::make_unique<TAbDfDistanceTree>();
    tree->Build(lengths.data(), static_cast<int>(lengths.size()), true);
    EXPECT_EQ(tree->TableSize(), worst.entries);
    EXPECT_EQ(tree->TableSize(), Tree::kDistanceCapacity);
  }
}
