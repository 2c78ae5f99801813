// The output window's fast CRC-32 equals the table definition everywhere.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "archive/AbDfOutW.h"
#include "archive/AbUtils.h"

TEST(InflateCrc, FastEqualsTableAtEveryLengthAndAlignment) {
  std::mt19937 random(99);
  std::vector<uint8_t> data(5000);
  for (auto& b : data) b = static_cast<uint8_t>(random());
  for (size_t offset = 0; offset < 17; ++offset) {
    for (size_t length = 0; length + offset <= data.size(); length += (length < 300 ? 1 : 97)) {
      const uint32_t start = offset % 2 ? ab::kCrc32Start : static_cast<uint32_t>(random());
      ASSERT_EQ(ab::UpdateCrc32Fast(start, data.data() + offset, length),
                ab::UpdateCrc32Buffer(data.data() + offset, static_cast<int32_t>(length), start))
          << offset << " " << length;
    }
  }
  EXPECT_EQ(~ab::UpdateCrc32Fast(ab::kCrc32Start, reinterpret_cast<const uint8_t*>("123456789"), 9),
            0xCBF43926u);
}
