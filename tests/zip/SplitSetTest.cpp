// Split sets: the parts read as one source, and an archive read across them
// only when its reader gives a way to the other parts.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"
#include "support/ZipBuilder.h"
#include "zip/Archive.h"
#include "zip/SplitSet.h"
#include "zip/engine/AbExcept.h"

namespace {

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

TEST(SplitSets, PartsAreNamedAsSplitWritersNameThem) {
  EXPECT_EQ(zip::SplitPartName("C:\\x.y\\set.zip", 0, 2), "C:\\x.y\\set.z01");
  EXPECT_EQ(zip::SplitPartName("C:\\x.y\\SET.ZIP", 1, 2), "C:\\x.y\\SET.Z02");
  EXPECT_EQ(zip::SplitPartName("set.zip", 99, 120), "set.z100");
  EXPECT_EQ(zip::SplitPartName("set.zip", 2, 2), "set.zip");
  EXPECT_EQ(zip::SplitPartName("dir.v2/set", 0, 1), "dir.v2/set.z01");
}

// The second member's data runs on from the first part into the last.
TEST(SplitSets, OnlyAReaderThatAsksReadsThemAcrossTheirParts) {
  const std::string big(1000, 'x');
  ZipBuilder b;
  b.Add("a.txt", "first").Add("b.bin", big + "end");
  auto [first, last] = SplitInTwo(b.Build(), 500);

  // The installer's road refuses the last part, and so does a library
  // reader that gives no way to the others.
  ab::TAbZipArchive installer(std::make_unique<rtl::TMemoryStream>(last), "set.zip");
  EXPECT_THROW(installer.LoadCatalogue(), ab::EAbZipMultiPart);
  const auto lastPart = std::make_shared<zip::MemorySource>(last);
  try {
    zip::Archive::Open(lastPart);
    FAIL() << "a part was read as an archive";
  } catch (const zip::Error& e) {
    EXPECT_EQ(e.Category(), zip::Failure::kUnsupported);
  }

  zip::OpenOptions options;
  int opened = 0;
  options.openPart = [&, part = first](uint32_t disk, uint32_t lastDisk) {
    ++opened;
    EXPECT_EQ(disk, 0U);
    EXPECT_EQ(lastDisk, 1U);
    return std::make_shared<zip::MemorySource>(part);
  };
  const zip::Archive archive = zip::Archive::Open(lastPart, options);
  ASSERT_EQ(archive.Count(), 2u);
  EXPECT_EQ(archive.PartCount(), 2u);
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(archive.Overlaps(archive.At(0)) || archive.Overlaps(archive.At(1)));
  zip::MemorySink one, two;
  archive.Extract(archive.At(0), one);
  archive.Extract(archive.At(1), two);
  EXPECT_EQ(one.Text(), "first");
  EXPECT_EQ(two.Text(), big + "end");

  // Without the first part nothing is read.
  options.openPart = [](uint32_t, uint32_t) { return std::shared_ptr<const zip::Source>(); };
  try {
    zip::Archive::Open(lastPart, options);
    FAIL() << "a set without its first part was read";
  } catch (const zip::Error& e) {
    EXPECT_NE(e.Rule().find("file 1 of 2"), std::string::npos) << e.what();
  }
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
  ab::TAbZipArchive installer(std::make_unique<rtl::TMemoryStream>(program), "setup");
  try {
    installer.LoadCatalogue();
    ADD_FAILURE() << "a chance record was read";
  } catch (const ab::EAbZipInvalid& e) {
    EXPECT_EQ(typeid(e), typeid(ab::EAbZipInvalid)) << e.Message();
  }
  zip::OpenOptions options;
  options.openPart = [](uint32_t, uint32_t) -> std::shared_ptr<const zip::Source> {
    ADD_FAILURE() << "a part was asked for";
    return nullptr;
  };
  try {
    zip::Archive::Open(std::make_shared<zip::MemorySource>(program), options);
    ADD_FAILURE() << "a chance record was read";
  } catch (const zip::Error& e) {
    EXPECT_EQ(e.Category(), zip::Failure::kNotZip) << e.what();
  }
}

TEST(SplitSets, TheSourceReadsAcrossPartsAndStopsAtTheEnd) {
  std::vector<std::shared_ptr<const zip::Source>> parts;
  for (const std::string text : {"abc", "", "defg", "h"})
    parts.push_back(std::make_shared<zip::MemorySource>(std::vector<uint8_t>(text.begin(), text.end())));
  const zip::SplitSetSource set(std::move(parts));
  EXPECT_EQ(set.Size(), 8u);
  EXPECT_EQ(set.PositionOf(2, 1), 4U);
  EXPECT_EQ(set.PositionOf(2, 5), std::nullopt);
  EXPECT_EQ(set.PositionOf(4, 0), std::nullopt);
  char buffer[16] = {};
  EXPECT_EQ(set.ReadAt(2, buffer, 16), 6u);
  EXPECT_EQ(std::string(buffer, 6), "cdefgh");
  EXPECT_EQ(set.ReadAt(8, buffer, 16), 0u);
}

}  // namespace
