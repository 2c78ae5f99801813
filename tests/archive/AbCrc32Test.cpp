// The CRC-32 against its byte-at-a-time definition, by every path and at
// every alignment.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "zip/engine/AbCrc32.h"
#include "zip/engine/AbUtils.h"

using namespace ab;

namespace {

uint32_t BytewiseCrc(const std::vector<uint8_t>& data, size_t from, size_t count) {
  uint32_t crc = kCrc32Start;
  for (size_t i = from; i < from + count; ++i) crc = UpdateCrc32(crc, data[i]);
  return ~crc;
}

}  // namespace

TEST(Crc32, KnownValues) {
  EXPECT_EQ(Crc32("123456789", 9), 0xCBF43926u);
  EXPECT_EQ(Crc32("", 0), 0u);
  EXPECT_EQ(kCrc32Table[1], 0x77073096u);
  EXPECT_EQ(kCrc32Table[255], 0x2D02EF8Du);
}

TEST(Crc32, EqualsBytewiseAtEveryAlignmentAndLength) {
  // Short lengths take the sliced tables, from 64 bytes on the 16-byte
  // folding lanes and from 256 bytes on the 64-byte lanes where the processor
  // has them, with a tail of every size.
  std::mt19937 random(12345);
  std::vector<uint8_t> data(5000);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (size_t from = 0; from < 17; ++from) {
    for (size_t count = 0; count + from <= data.size(); count += (count < 300 ? 1 : 97)) {
      const uint32_t start = from % 2 ? kCrc32Start : static_cast<uint32_t>(random());
      uint32_t bytewise = start;
      for (size_t i = from; i < from + count; ++i) bytewise = UpdateCrc32(bytewise, data[i]);
      ASSERT_EQ(UpdateCrc32(start, data.data() + from, count), bytewise) << from << "+" << count;
    }
  }
  EXPECT_EQ(~UpdateCrc32(kCrc32Start, data.data(), 0), BytewiseCrc(data, 0, 0));
}

TEST(Crc32, UpdatesChainAcrossPieces) {
  const char* text = "The quick brown fox jumps over the lazy dog";
  uint32_t crc = UpdateCrc32(kCrc32Start, text, 10);
  crc = UpdateCrc32(crc, text + 10, 20);
  for (int i = 30; i < 43; ++i) crc = UpdateCrc32(crc, static_cast<uint8_t>(text[i]));
  EXPECT_EQ(~crc, 0x414FA339u);
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
