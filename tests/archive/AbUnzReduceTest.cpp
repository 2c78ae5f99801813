// Reduce: the escape cases by hand, round trips through a small encoder for
// every factor (the corpus has only factor 4), and the refusals of follower
// data that does not fit the sets.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "support/AbUnzTestSupport.h"
#include "zip/engine/AbUnzPrc.h"

namespace {

using namespace legacy_test;

int IndexBits(size_t n) {
  int bits = 1;
  while ((1u << bits) < n) ++bits;
  return bits;
}

// Writes the byte stream the decoder's state machine reads, coded against
// follower sets (empty ones when followers is false).
std::vector<uint8_t> Code(const std::vector<uint8_t>& stream, bool followers) {
  std::array<std::vector<uint8_t>, 256> sets;
  if (followers) {
    std::array<std::map<uint8_t, int>, 256> counts;
    uint8_t last = 0;
    for (uint8_t x : stream) ++counts[last][x], last = x;
    for (int v = 0; v < 256; ++v) {
      std::vector<std::pair<int, uint8_t>> byCount;
      for (auto [x, n] : counts[v]) byCount.emplace_back(-n, x);
      std::sort(byCount.begin(), byCount.end());
      for (size_t i = 0; i < byCount.size() && i < 32; ++i) sets[v].push_back(byCount[i].second);
    }
  }
  BitWriter w;
  for (int v = 255; v >= 0; --v) {
    w.Put(static_cast<uint32_t>(sets[v].size()), 6);
    for (uint8_t x : sets[v]) w.Put(x, 8);
  }
  uint8_t last = 0;
  for (uint8_t x : stream) {
    const auto& set = sets[last];
    const auto at = std::find(set.begin(), set.end(), x);
    if (set.empty()) {
      w.Put(x, 8);
    } else if (at == set.end()) {
      w.Put(1, 1);
      w.Put(x, 8);
    } else {
      w.Put(0, 1);
      w.Put(static_cast<uint32_t>(at - set.begin()), IndexBits(set.size()));
    }
    last = x;
  }
  return w.Bytes();
}

// Greedy longest-match encoder: literals (144 escaped) and back-references.
std::vector<uint8_t> ReduceStream(const std::vector<uint8_t>& data, int factor) {
  const int mask = 0xFF >> factor;
  const int maxDistance = 256 << factor;
  const int maxLength = mask + 255 + 3;
  std::vector<uint8_t> out;
  for (size_t i = 0; i < data.size();) {
    int bestLength = 0, bestDistance = 0;
    for (int d = 1; d <= maxDistance && static_cast<size_t>(d) <= i; ++d) {
      int n = 0;
      while (n < maxLength && i + n < data.size() && data[i + n] == data[i + n - d]) ++n;
      // Length 3 at a distance up to 256 would code as V = 0, the escaped
      // literal 144: leave those as literals.
      if (n > bestLength && !(n == 3 && d <= 256)) bestLength = n, bestDistance = d;
    }
    if (bestLength >= 3) {
      const int l = bestLength - 3;
      const int high = (bestDistance - 1) >> 8;
      out.push_back(144);
      out.push_back(static_cast<uint8_t>(std::min(l, mask) | (high << (8 - factor))));
      if (l >= mask) out.push_back(static_cast<uint8_t>(l - mask));
      out.push_back(static_cast<uint8_t>((bestDistance - 1) & 0xFF));
      i += static_cast<size_t>(bestLength);
    } else {
      out.push_back(data[i]);
      if (data[i] == 144) out.push_back(0);
      ++i;
    }
  }
  return out;
}

std::vector<uint8_t> Unreduce(const std::vector<uint8_t>& coded, int factor, int32_t size) {
  DecodeSettings s;
  s.method = static_cast<uint8_t>(factor + 1);
  s.uncompressedSize = size;
  return Decode(coded, s).output;
}

std::vector<uint8_t> Sample(size_t size, uint32_t seed) {
  // Text-like data with repeats at every distance and plenty of byte 144.
  std::mt19937 random(seed);
  std::vector<uint8_t> data;
  while (data.size() < size) {
    if (data.size() > 10 && random() % 3 == 0) {
      const size_t distance = 1 + random() % std::min<size_t>(data.size(), 5000);
      const size_t length = 1 + random() % 400;
      for (size_t k = 0; k < length && data.size() < size; ++k)
        data.push_back(data[data.size() - distance]);
    } else {
      data.push_back(random() % 5 == 0 ? 144 : static_cast<uint8_t>('a' + random() % 26));
    }
  }
  return data;
}

TEST(AbUnzReduce, RoundTripsAtEveryFactor) {
  for (int factor = 1; factor <= 4; ++factor) {
    for (bool followers : {false, true}) {
      SCOPED_TRACE(factor * 10 + followers);
      const auto data = Sample(70000, static_cast<uint32_t>(factor));
      const auto coded = Code(ReduceStream(data, factor), followers);
      EXPECT_EQ(Unreduce(coded, factor, static_cast<int32_t>(data.size())), data);
    }
  }
}

TEST(AbUnzReduce, EscapeCases) {
  // 144 0 is one literal 144.
  EXPECT_EQ(Unreduce(Code({'a', 144, 0, 'b'}, false), 4, 3), Bytes("a\x90"
                                                                   "b"));
  // Factor 4: V = 0x12 is length 2 + 3 from distance (1 << 8) + low + 1.
  std::vector<uint8_t> text(300);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>('A' + i % 23);
  std::vector<uint8_t> stream = text;
  for (uint8_t b : {144, 0x12, 43}) stream.push_back(b);  // distance 256 + 43 + 1 = 300
  auto expected = text;
  expected.insert(expected.end(), text.begin(), text.begin() + 5);
  EXPECT_EQ(Unreduce(Code(stream, false), 4, 305), expected);
  // When V and the mask equal the mask, the next byte adds to the length.
  stream = text;
  for (uint8_t b : {144, 0x0F, 10, 0}) stream.push_back(b);  // 15 + 10 + 3 bytes, distance 1
  expected = text;
  expected.insert(expected.end(), 28, text.back());
  EXPECT_EQ(Unreduce(Code(stream, false), 4, 328), expected);
}

TEST(AbUnzReduce, FactorOneTakesOneDistanceBit) {
  std::vector<uint8_t> text(512);
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<uint8_t>(i * 7 + i / 256);
  auto stream = ReduceStream(text, 1);
  for (uint8_t b : {144, 0x80 | 4, 255}) stream.push_back(b);  // 7 bytes from 512 back
  auto expected = text;
  expected.insert(expected.end(), text.begin(), text.begin() + 7);
  EXPECT_EQ(Unreduce(Code(stream, false), 1, 519), expected);
}

TEST(AbUnzReduce, BackReferenceBeforeTheStartGivesZeros) {
  // Length 5 from distance 3 with one byte written: two zeros, then the byte
  // and the copies of what the copy itself wrote.
  const auto out = Unreduce(Code({'x', 144, 0x02, 2}, false), 4, 6);
  EXPECT_EQ(out, (std::vector<uint8_t>{'x', 0, 0, 'x', 0, 0}));
}

TEST(AbUnzReduce, StopsAtTheUncompressedSizeButFinishesTheCopy) {
  const auto out = Unreduce(Code({'a', 144, 0x05, 0, 'b', 'c'}, false), 4, 3);
  EXPECT_EQ(out, Bytes("aaaaaaaaa"));  // 1 + 8: the copy crossing the size is written whole
}

TEST(AbUnzReduce, CutShortStopsQuietly) {
  const auto data = Sample(20000, 9);
  const auto coded = Code(ReduceStream(data, 2), false);
  const std::vector<uint8_t> half(coded.begin(),
                                  coded.begin() + static_cast<long>(coded.size() / 2));
  const auto out = Unreduce(half, 2, static_cast<int32_t>(data.size()));
  ASSERT_LT(out.size(), data.size());
  ASSERT_GT(out.size(), 1000u);
  // Only the last back-reference may be made of missing bits.
  EXPECT_TRUE(std::equal(out.begin(), out.end() - 400, data.begin()));
}

TEST(AbUnzReduce, FollowerSetsThatDoNotFitAreRefused) {
  BitWriter big;
  big.Put(33, 6);  // the set of byte 255
  for (int i = 0; i < 40; ++i) big.Put(0, 8);
  EXPECT_THROW(Unreduce(big.Bytes(), 3, 10), ab::EAbZipCorruptData);

  BitWriter index;
  for (int v = 255; v >= 1; --v) index.Put(0, 6);
  index.Put(3, 6);  // the set of byte 0 (the first "last" byte): three followers
  for (int i = 0; i < 3; ++i) index.Put('a' + i, 8);
  index.Put(0, 1);
  index.Put(2, 2);  // index 2: 'c', whose set is empty
  index.Put(0, 8);  // so a raw byte follows: 0, and its set is used again
  index.Put(0, 1);
  index.Put(3, 2);  // index 3 lies past the set
  index.Put(0, 16);
  EXPECT_THROW(Unreduce(index.Bytes(), 3, 10), ab::EAbZipCorruptData);
  // Refused only when reached: with two bytes expected, the decode ends first.
  EXPECT_EQ(Unreduce(index.Bytes(), 3, 2), Bytes(std::string("c") + '\0'));
}

}  // namespace
