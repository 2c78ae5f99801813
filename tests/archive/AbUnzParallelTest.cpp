// A large member through the member path on several threads: the same bytes
// as on one thread, and the same failure, class and text, for a member that
// is corrupt or holds more than it declares.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <random>

#include "archive/AbExcept.h"
#include "archive/AbUnzMember.h"
#include "archive/AbUnzParallel.h"
#include "os/os.h"
#include "support/AbDfTestSupport.h"
#include "support/Corpus.h"
#include "support/ZipBuilder.h"

using namespace ab;
using testing_support::ZipBuilder;
using testing_support::ZipMember;

#if TESSALINE_HAVE_ZLIB

namespace {

// What decoding a member gave: its bytes, or the failure's class and text.
struct Outcome {
  std::vector<uint8_t> bytes;
  std::string failure;
  bool operator==(const Outcome&) const = default;
};

Outcome Decode(TAbZipArchive& archive, TAbZipItem& item, unsigned threads, bool test) {
  Outcome outcome;
  rtl::TMemoryStream memory;
  TAbBitBucketStream bucket;
  try {
    DecodeMemberToStream(archive, item, test ? static_cast<rtl::TStream*>(&bucket) : &memory,
                         {archive.Stream(), nullptr, threads});
  } catch (const std::exception& error) {
    outcome.failure = std::string(typeid(error).name()) + ": " + error.what();
  }
  outcome.bytes = memory.Bytes();
  return outcome;
}

}  // namespace

TEST(MemberInParallel, LargeMembersDecodeAndFailAsOnOneThread) {
  // Text of a small alphabet: enough of it to pass the threshold compressed.
  std::mt19937 random(11);
  std::string text(12 << 20, ' ');
  for (char& c : text) c = static_cast<char>('0' + random() % 40);
  const dftest::Bytes packed = dftest::ZlibDeflate(dftest::Bytes(text.begin(), text.end()), 1);
  ASSERT_GE(packed.size(), kParallelInflateFrom);
  auto member = [&](const std::string& name, std::string payload, size_t declared) {
    ZipMember m;
    m.name = name;
    m.method = 8;
    m.data = text.substr(0, declared);
    m.crc = Crc32(text.data(), text.size());
    m.payload = std::move(payload);
    m.hasPayload = true;
    return m;
  };
  const std::string stream(packed.begin(), packed.end());
  std::string corrupt = stream;
  corrupt[corrupt.size() * 3 / 4] ^= 0x10;
  ZipBuilder builder;
  builder.Add(member("whole.txt", stream, text.size()))
      .Add(member("corrupt.txt", corrupt, text.size()))
      .Add(member("lying.txt", stream, text.size() - 1000))
      .Add(member("cut.txt", stream.substr(0, stream.size() - 20), text.size()));
  testing_support::ScratchFolder folder;
  const std::string path = folder.Native() + "/large.zip";
  const std::vector<uint8_t> zip = builder.Build();
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(zip.data()), static_cast<std::streamsize>(zip.size()));

  TAbZipArchive archive(os::ExpandFileName(testing_support::ProgramPath(path)),
                        rtl::fmOpenRead | rtl::fmShareDenyNone);
  archive.LoadCatalogue();
  ASSERT_EQ(archive.ItemCount(), 4);
  // The parallel path takes such a member at all: straight at its data.
  TAbZipItem& whole = archive.Item(0);
  archive.Stream().Seek(30 + 9, rtl::soBeginning);
  TAbBitBucketStream bucket;
  EXPECT_EQ(InflateMemberInParallel(whole, {archive.Stream(), nullptr, 2}, bucket, true),
            std::optional<uint32_t>(whole.Crc32()));
  EXPECT_EQ(InflateMemberInParallel(whole, {archive.Stream(), nullptr, 1}, bucket, true),
            std::nullopt);

  for (int32_t i = 0; i < archive.ItemCount(); ++i) {
    TAbZipItem& item = archive.Item(i);
    for (const bool test : {false, true}) {
      const Outcome one = Decode(archive, item, 1, test);
      const Outcome two = Decode(archive, item, 2, test);
      EXPECT_EQ(one.failure, two.failure) << item.UnicodeName() << " " << test;
      EXPECT_EQ(one.failure.empty(), i == 0) << item.UnicodeName() << " " << one.failure;
      // What a failing member wrote before its failure is cut at another
      // piece than on one thread, but is what that thread decodes.
      const size_t common = std::min(one.bytes.size(), two.bytes.size());
      EXPECT_LE(two.bytes.size(), item.UncompressedSize64());
      EXPECT_TRUE(std::equal(two.bytes.begin(), two.bytes.begin() + common, one.bytes.begin()))
          << item.UnicodeName() << " " << test;
      if (one.failure.empty()) {
        EXPECT_EQ(one.bytes.size(), two.bytes.size());
      }
    }
  }
}

#endif  // TESSALINE_HAVE_ZLIB
