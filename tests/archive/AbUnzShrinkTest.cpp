// Shrink streams built by hand: the code that is not yet defined, widening,
// partial clearing, skipped control values and the refusals of data that
// does not fit the tables.
#include <gtest/gtest.h>

#include "support/AbUnzTestSupport.h"
#include "zip/engine/AbUnzPrc.h"

namespace {

using namespace legacy_test;

struct Codes {
  BitWriter bits;
  int width = 9;
  Codes& operator<<(int code) {
    bits.Put(static_cast<uint32_t>(code), width);
    return *this;
  }
  Codes& Widen() {
    *this << 256 << 1;
    ++width;
    return *this;
  }
};

std::string Unshrink(const Codes& codes, int32_t uncompressedSize = 1000) {
  DecodeSettings s;
  s.method = 1;
  s.uncompressedSize = uncompressedSize;
  const auto out = Decode(codes.bits.Bytes(), s).output;
  return std::string(out.begin(), out.end());
}

TEST(AbUnzShrink, LiteralsAndDefinedCodes) {
  Codes c;
  c << 'A' << 'B' << 257 << 'C' << 258;  // 257 = "AB", 258 = "BA"
  EXPECT_EQ(Unshrink(c), "ABABCBA");
}

TEST(AbUnzShrink, CodeEqualToNextFreeIsPreviousStringPlusItsFirstByte) {
  Codes c;
  c << 'A' << 'B' << 258;  // 257 = "AB" is defined; 258 is next free
  EXPECT_EQ(Unshrink(c), "ABBB");
  Codes d;
  d << 'X' << 257 << 258;  // "X", then "XX" (257), then "XXX" (258)
  EXPECT_EQ(Unshrink(d), "XXXXXX");
}

TEST(AbUnzShrink, ControlOneWidensFromTheNextCode) {
  Codes c;
  c << 'A';
  c.Widen();
  c << 'B' << 'C' << 257;
  EXPECT_EQ(Unshrink(c), "ABCAB");
  // Up to 13 bits is allowed.
  Codes d;
  d << 'A';
  for (int i = 0; i < 4; ++i) d.Widen();
  d << 'Z';
  EXPECT_EQ(Unshrink(d), "AZ");
}

TEST(AbUnzShrink, WideningPastThirteenBitsIsRefused) {
  Codes c;
  c << 'A';
  for (int i = 0; i < 4; ++i) c.Widen();
  c << 256 << 1 << 'B' << 'C';
  EXPECT_THROW(Unshrink(c), ab::EAbZipCorruptData);
}

TEST(AbUnzShrink, ControlTwoFreesCodesThatAreNoPrefix) {
  // 257 "AB", 258 "BC", 259 "CA", 260 "ABC" (prefix 257). The clear keeps
  // 257 (prefix of 260) and frees 258 to 260; 258 is then redefined as "CD".
  Codes c;
  c << 'A' << 'B' << 'C' << 257 << 'C' << 256 << 2 << 'D' << 258 << 257;
  EXPECT_EQ(Unshrink(c), "ABCABCDCDAB");
  // Without the clear, 258 would still be "BC".
  Codes d;
  d << 'A' << 'B' << 'C' << 257 << 'C' << 'D' << 258;
  EXPECT_EQ(Unshrink(d), "ABCABCDBC");
}

TEST(AbUnzShrink, ClearingKeepsEveryCodeThatIsAPrefix) {
  // 257 "AA", 258 "AAA" (prefix 257), 259 "AAAB" (prefix 258). Only the leaf
  // 259 goes; the next definition takes it: 259 = "BC".
  Codes c;
  c << 'A' << 257 << 258 << 'B' << 256 << 2 << 'C' << 258 << 257 << 259;
  EXPECT_EQ(Unshrink(c),
            "AAAAAABC"
            "AAA"
            "AA"
            "BC");
}

TEST(AbUnzShrink, OtherControlValuesAreSkipped) {
  Codes c;
  c << 'A' << 256 << 3 << 'B' << 256 << 0 << 257;
  EXPECT_EQ(Unshrink(c), "ABAB");
}

TEST(AbUnzShrink, DecodesUntilTheInputEndsWhateverTheSize) {
  Codes c;
  c << 'A' << 'B' << 'C' << 'D';
  EXPECT_EQ(Unshrink(c, 2), "ABCD");
  EXPECT_EQ(Unshrink(Codes{}), "");
}

TEST(AbUnzShrink, SelfReferringChainIsRefused) {
  // The first code is undefined: its chain would never reach a byte.
  Codes c;
  c << 300 << 257 << 'A';
  EXPECT_THROW(Unshrink(c), ab::EAbZipCorruptData);
}

TEST(AbUnzShrink, LongestChainsFit) {
  // 'A' then 257, 258, ... each the next free code: string k is k+1 bytes.
  Codes c;
  c << 'A';
  int total = 1;
  for (int code = 257, len = 2; code < 8192; ++code, ++len) {
    if (code == 512 || code == 1024 || code == 2048 || code == 4096) c.Widen();
    c << code;
    total += len;
  }
  const std::string out = Unshrink(c);
  EXPECT_EQ(out.size(), static_cast<size_t>(total));
  EXPECT_EQ(out.find_first_not_of('A'), std::string::npos);
}

}  // namespace
