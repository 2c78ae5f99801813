// Split sets: the parts read as one stream, and an archive read across them
// only when its reader asks for it.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <typeinfo>
#include <utility>
#include <vector>

#include "archive/AbSplitSt.h"
#include "archive/AbUnzMember.h"
#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"
#include "support/ZipBuilder.h"

namespace {

using namespace ab;
using testing_support::ZipBuilder;

uint32_t Get(const std::vector<uint8_t>& b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width; i-- > 0;) v = (v << 8) | b[at + static_cast<size_t>(i)];
  return v;
}

void Put(std::vector<uint8_t>& b, size_t at, int width, uint32_t v) {
  for (int i = 0; i < width; ++i)
    b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// A one-file archive cut in two before its directory, as a split writer
// would have written it: each offset counted from the start of its own part.
std::pair<std::vector<uint8_t>, std::vector<uint8_t>> SplitInTwo(std::vector<uint8_t> bytes,
                                                                 size_t cut) {
  const size_t end = bytes.size() - 22;
  const size_t directory = Get(bytes, end + 16, 4);
  for (size_t at = directory; at < end;
       at += 46 + Get(bytes, at + 28, 2) + Get(bytes, at + 30, 2) + Get(bytes, at + 32, 2)) {
    const uint32_t offset = Get(bytes, at + 42, 4);
    Put(bytes, at + 34, 2, offset < cut ? 0 : 1);
    Put(bytes, at + 42, 4, offset < cut ? offset : offset - static_cast<uint32_t>(cut));
  }
  Put(bytes, end + 4, 2, 1);
  Put(bytes, end + 6, 2, 1);
  Put(bytes, end + 16, 4, static_cast<uint32_t>(directory - cut));
  return {std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)),
          std::vector<uint8_t>(bytes.begin() + static_cast<std::ptrdiff_t>(cut), bytes.end())};
}

std::string Decoded(TAbZipArchive& archive, int32_t index, rtl::TStream& source) {
  rtl::TMemoryStream out;
  DecodeMemberToStream(archive, archive.Item(index), &out, {source, nullptr});
  std::string text(static_cast<size_t>(out.Size()), '\0');
  out.Seek(0, rtl::soBeginning);
  out.ReadBuffer(text.data(), static_cast<int32_t>(text.size()));
  return text;
}

TEST(SplitSets, PartsAreNamedAsSplitWritersNameThem) {
  EXPECT_EQ(SplitPartName("C:\\x.y\\set.zip", 0, 2), "C:\\x.y\\set.z01");
  EXPECT_EQ(SplitPartName("C:\\x.y\\SET.ZIP", 1, 2), "C:\\x.y\\SET.Z02");
  EXPECT_EQ(SplitPartName("set.zip", 99, 120), "set.z100");
  EXPECT_EQ(SplitPartName("set.zip", 2, 2), "set.zip");
  EXPECT_EQ(SplitPartName("dir.v2/set", 0, 1), "dir.v2/set.z01");
}

// The second member's data runs on from the first part into the last.
TEST(SplitSets, OnlyAReaderThatAsksReadsThemAcrossTheirParts) {
  const std::string big(1000, 'x');
  ZipBuilder b;
  b.Add("a.txt", "first").Add("b.bin", big + "end");
  auto [first, last] = SplitInTwo(b.Build(), 500);

  // The installer's road refuses the last part, as before.
  TAbZipArchive installer(std::make_unique<rtl::TMemoryStream>(last), "set.zip");
  EXPECT_THROW(installer.LoadCatalogue(), EAbZipMultiPart);

  TAbZipArchive reader(std::make_unique<rtl::TMemoryStream>(last), "set.zip");
  reader.SetReadsSplitSets(true);
  int opened = 0;
  reader.PartOpener = [&, part = first](uint32_t disk, uint32_t lastDisk) {
    ++opened;
    EXPECT_EQ(disk, 0U);
    EXPECT_EQ(lastDisk, 1U);
    return std::make_unique<rtl::TMemoryStream>(part);
  };
  reader.LoadCatalogue();
  ASSERT_EQ(reader.ItemCount(), 2);
  EXPECT_EQ(reader.PartCount(), 2U);
  EXPECT_EQ(reader.Item(1).DiskNumberStart32(), 0U);
  reader.CheckMemberSpans();
  EXPECT_FALSE(reader.Item(0).SpanOverlaps() || reader.Item(1).SpanOverlaps());
  EXPECT_EQ(Decoded(reader, 0, reader.Stream()), "first");
  EXPECT_EQ(Decoded(reader, 1, reader.Stream()), big + "end");
  // What another thread reads: the set again, not the last part alone.
  const auto again = reader.ReadingOver(std::make_unique<rtl::TMemoryStream>(last));
  EXPECT_EQ(again->Size(), reader.Stream().Size());
  EXPECT_EQ(Decoded(reader, 1, *again), big + "end");
  reader.LoadCatalogue();
  EXPECT_EQ(reader.ItemCount(), 2);
  EXPECT_EQ(opened, 3);

  // Without the first part nothing is read, and the part is named.
  TAbZipArchive missing(std::make_unique<rtl::TMemoryStream>(last), "no-such-folder/set.zip");
  missing.SetReadsSplitSets(true);
  try {
    missing.LoadCatalogue();
    FAIL() << "a set without its first part was read";
  } catch (const EAbZipMissingPart& e) {
    EXPECT_EQ(e.Disk(), 0U);
    EXPECT_EQ(e.PartCount(), 2U);
    EXPECT_NE(e.Message().find("part 1 of the 2 parts"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("no-such-folder/set.z01"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(missing.State(), stInvalid);
}

// A program's code may hold the end record's signature with any numbers
// behind it: a directory said to come from earlier parts is believed only
// where this part begins with a directory entry, as split writers make it.
TEST(SplitSets, AChanceEndRecordInAProgramIsNoSplitSet) {
  std::vector<uint8_t> program(4096, 0x90);
  const std::string record = "PK\x05\x06" + ZipBuilder::Le32(0x01345A5A) +
                             ZipBuilder::Le32(0xEE17'0100) + ZipBuilder::Le32(0x50000001) +
                             ZipBuilder::Le32(0x5A08'4B4B) + std::string(2, '\0');
  program.insert(program.end(), record.begin(), record.end());
  for (bool readsSets : {false, true}) {
    TAbZipArchive archive(std::make_unique<rtl::TMemoryStream>(program), "setup");
    archive.SetReadsSplitSets(readsSets);
    archive.PartOpener = [](uint32_t, uint32_t) { return std::unique_ptr<rtl::TStream>(); };
    try {
      archive.LoadCatalogue();
      ADD_FAILURE() << "a chance record was read";
    } catch (const EAbZipInvalid& e) {
      EXPECT_EQ(typeid(e), typeid(EAbZipInvalid)) << e.Message();
    }
  }
}

TEST(SplitSets, TheStreamReadsAcrossPartsAndStopsAtTheEnd) {
  std::vector<std::unique_ptr<rtl::TStream>> parts;
  for (const char* text : {"abc", "", "defg", "h"})
    parts.push_back(std::make_unique<rtl::TMemoryStream>(
        std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(text),
                             reinterpret_cast<const uint8_t*>(text) + strlen(text))));
  TAbSplitSetStream set(std::move(parts));
  EXPECT_EQ(set.Size(), 8);
  EXPECT_EQ(set.PositionOf(2, 1), 4U);
  EXPECT_EQ(set.PositionOf(2, 5), std::nullopt);
  EXPECT_EQ(set.PositionOf(4, 0), std::nullopt);
  char buffer[16] = {};
  EXPECT_EQ(set.Seek(2, rtl::soBeginning), 2);
  EXPECT_EQ(set.Read(buffer, 16), 6);
  EXPECT_EQ(std::string(buffer, 6), "cdefgh");
  EXPECT_EQ(set.Read(buffer, 16), 0);
  EXPECT_EQ(set.Seek(-1, rtl::soBeginning), -1);
  EXPECT_EQ(set.Write("x", 1), 0);
}

}  // namespace
