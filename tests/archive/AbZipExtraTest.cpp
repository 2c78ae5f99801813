// Extra fields as writers make them and as an attacker might: blocks that run
// past the field, ZIP64 blocks missing values, Unicode Path blocks that no
// longer match their name, times before 1970 and after 2106.
#include <gtest/gtest.h>

#include <string>

#include "support/ZipBuilder.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"

namespace {

using namespace ab;
using testing_support::ZipBuilder;

constexpr auto Block = ZipBuilder::ExtraBlock;
constexpr auto U32 = ZipBuilder::Le32;
constexpr auto U64 = ZipBuilder::Le64;

TEST(SplitExtraField, KeepsEveryBlockAndNoticesOneRunningPastTheEnd) {
  const std::string field = Block(0x5455, "\x01" + U32(5)) + Block(0x7875, "abc");
  TAbExtraBlocks blocks = SplitExtraField(field);
  ASSERT_EQ(blocks.count, 2u);
  EXPECT_FALSE(blocks.damaged);
  EXPECT_EQ(blocks.Find(0x7875), std::string_view("abc"));
  EXPECT_FALSE(blocks.Find(0x0001).has_value());

  // The second block says 20 bytes where 3 remain: the first is kept.
  std::string runsPast = Block(0x5455, "\x01" + U32(5)) + Block(0x7777, "abc");
  runsPast[runsPast.size() - 5] = 20;
  blocks = SplitExtraField(runsPast);
  EXPECT_TRUE(blocks.damaged);
  EXPECT_EQ(blocks.count, 1u);

  // Up to three bytes of padding behind the blocks are not damage.
  EXPECT_FALSE(SplitExtraField(field + std::string(3, '\0')).damaged);
  EXPECT_TRUE(SplitExtraField(field + std::string("\x01\x00\x05\x00", 4)).damaged);
  EXPECT_FALSE(SplitExtraField("").damaged);
}

TEST(ReadZip64Block, TakesOnlyTheValuesTheHeaderLeavesToIt) {
  // Compressed size and offset saturated, uncompressed size not: the block
  // holds the two in their fixed order.
  const std::string block = U64(5'000'000'000) + U64(7'000'000'000);
  TAbZip64Needs needs;
  needs.compressedSize = needs.localHeaderOffset = true;
  TAbZip64Values values = ReadZip64Block(block, needs);
  EXPECT_FALSE(values.uncompressedSize.has_value());
  EXPECT_EQ(values.compressedSize, 5'000'000'000u);
  EXPECT_EQ(values.localHeaderOffset, 7'000'000'000u);

  needs = {true, true, true, true};
  values = ReadZip64Block(U64(1) + U64(2) + U64(3) + U32(4), needs);
  EXPECT_EQ(values.uncompressedSize, 1u);
  EXPECT_EQ(values.diskNumberStart, 4u);

  // Too short for the second value: it and every later one stay unknown.
  values = ReadZip64Block(U64(1) + "\x02\x00\x00", needs);
  EXPECT_EQ(values.uncompressedSize, 1u);
  EXPECT_FALSE(values.compressedSize.has_value());
  EXPECT_FALSE(values.localHeaderOffset.has_value());
  EXPECT_FALSE(values.diskNumberStart.has_value());
}

TEST(ReadUnicodePathBlock, OnlyVersionOneWithTheStoredNamesCrc) {
  const std::string stored = "f\x81le.txt";  // the OEM bytes of "füle.txt"
  const std::string utf8 = "füle.txt";
  const std::string crc = U32(Crc32(stored.data(), stored.size()));
  EXPECT_EQ(ReadUnicodePathBlock("\x01" + crc + utf8, stored), utf8);
  // Renamed by a tool that did not know the block: its CRC is of the old name.
  EXPECT_FALSE(ReadUnicodePathBlock("\x01" + crc + utf8, "renamed.txt").has_value());
  EXPECT_FALSE(ReadUnicodePathBlock("\x02" + crc + utf8, stored).has_value());
  EXPECT_FALSE(ReadUnicodePathBlock("\x01" + crc + "bad \xC3(", stored).has_value());
  EXPECT_FALSE(ReadUnicodePathBlock("\x01\x00", stored).has_value());
}

TEST(ReadTimes, ExtendedTimestampIsSignedAndMayHoldFewerTimesThanItsFlags) {
  // A central header's field: all three flags, only the modification time.
  TAbZipTimes times = ReadExtendedTimestampBlock("\x07" + U32(1'500'000'000));
  EXPECT_EQ(times.modified, (TAbZipTime{1'500'000'000, 0}));
  EXPECT_FALSE(times.accessed.has_value());
  // 1960, before the DOS range, comes out as it is.
  times = ReadExtendedTimestampBlock("\x03" + U32(static_cast<uint32_t>(-315'619'200)) + U32(7));
  EXPECT_EQ(times.modified, (TAbZipTime{-315'619'200, 0}));
  EXPECT_EQ(times.accessed, (TAbZipTime{7, 0}));
  // Only the access time: it is the first value.
  times = ReadExtendedTimestampBlock("\x02" + U32(9));
  EXPECT_FALSE(times.modified.has_value());
  EXPECT_EQ(times.accessed, (TAbZipTime{9, 0}));
  EXPECT_FALSE(ReadExtendedTimestampBlock("").modified.has_value());
  EXPECT_FALSE(ReadExtendedTimestampBlock("\x01\x05\x00").modified.has_value());
}

TEST(ReadTimes, NtfsTimesKeepTheirHundredNanosecondSteps) {
  // 2200-01-01 00:00:00.1234567 UTC, past the DOS range's end in 2107.
  const uint64_t steps2200 = (7'258'118'400ull + 11'644'473'600ull) * 10'000'000ull + 1'234'567;
  const std::string attribute =
      std::string("\x01\x00\x18\x00", 4) + U64(steps2200) + U64(0) + U64(116'444'736'000'000'000);
  TAbZipTimes times = ReadNtfsBlock(std::string(4, '\0') + attribute);
  EXPECT_EQ(times.modified, (TAbZipTime{7'258'118'400, 123'456'700}));
  EXPECT_FALSE(times.accessed.has_value());  // 0: not recorded
  EXPECT_EQ(times.created, (TAbZipTime{0, 0}));
  // 1601 itself, and an attribute cut short.
  EXPECT_EQ(FileTimeToZipTime(0).seconds, -11'644'473'600);
  EXPECT_FALSE(ReadNtfsBlock(std::string(4, '\0') + attribute.substr(0, 20)).modified.has_value());
  EXPECT_FALSE(ReadNtfsBlock("\x00\x00").modified.has_value());
}

}  // namespace
