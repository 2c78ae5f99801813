#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "archive/AbUtils.h"

using namespace ab;

namespace {

uint32_t BytewiseCrc(const std::vector<uint8_t>& data, size_t from, size_t count) {
  uint32_t crc = kCrc32Start;
  for (size_t i = from; i < from + count; ++i) crc = UpdateCrc32(data[i], crc);
  return ~crc;
}

}  // namespace

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(kCrc32Table[1], 0x77073096u);
  EXPECT_EQ(kCrc32Table[255], 0x2D02EF8Du);
}

TEST(Crc32, SlicedEqualsBytewiseAtEveryAlignmentAndLength) {
  std::mt19937 random(12345);
  std::vector<uint8_t> data(300);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (size_t from = 0; from < 9; ++from) {
    for (size_t count = 0; count + from <= data.size(); count += 7) {
      const uint32_t sliced =
          ~UpdateCrc32Buffer(data.data() + from, static_cast<int32_t>(count), kCrc32Start);
      ASSERT_EQ(sliced, BytewiseCrc(data, from, count)) << from << "+" << count;
    }
  }
}

TEST(Crc32, UpdatesChainAcrossPieces) {
  const char* text = "The quick brown fox jumps over the lazy dog";
  uint32_t crc = UpdateCrc32Buffer(text, 10, kCrc32Start);
  crc = UpdateCrc32Buffer16(text + 10, 20, crc);
  for (int i = 30; i < 43; ++i) crc = UpdateCrc32(static_cast<uint8_t>(text[i]), crc);
  EXPECT_EQ(~crc, 0x414FA339u);
  EXPECT_EQ(UpdateCrc32Buffer(text, -1, 0x1234u), 0x1234u);
}

TEST(Percentage, RoundsDownAndClamps) {
  EXPECT_EQ(Percentage(5, 0), 0);
  EXPECT_EQ(Percentage(7, 5), 100);
  EXPECT_EQ(Percentage(1, 3), 33);
  // Large totals are scaled by 256 first: no overflow of done * 100.
  EXPECT_EQ(Percentage(1000000000, 2000000000), 50);
  // Scaling drops the low bits, so nearly done reads as done.
  EXPECT_EQ(Percentage(16384001, 16384002), 100);
}
