// The decoder against zlib's encoder on real and random data, every level,
// strategy and window size; Deflate64 against 7-Zip and the corpus archives.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "support/AbDfTestSupport.h"
#include "support/Corpus.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbUtils.h"

#if TESSALINE_HAVE_ZLIB
#include <zlib.h>
#endif

using namespace ab;
using namespace dftest;

namespace {

[[maybe_unused]] Bytes RandomBytes(size_t size, uint32_t seed, int alphabet) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (auto& b : data) b = static_cast<uint8_t>(random() % static_cast<uint32_t>(alphabet));
  return data;
}

struct ZipMember {
  std::string name;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t size = 0;
  Bytes data;
};

// The members of a ZIP file, through its central directory.
std::vector<ZipMember> ReadZip(const Bytes& zip) {
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(zip[at] | (zip[at + 1] << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  std::vector<ZipMember> members;
  if (zip.size() < 22) return members;
  size_t eocd = zip.size() - 22;
  while (u32(eocd) != 0x06054b50) {
    if (eocd == 0) return members;
    --eocd;
  }
  size_t at = u32(eocd + 16);
  for (uint32_t i = 0; i < u16(eocd + 10) && at + 46 <= zip.size(); ++i) {
    ZipMember m;
    m.method = static_cast<uint16_t>(u16(at + 10));
    m.crc = u32(at + 16);
    const size_t packed = u32(at + 20);
    m.size = u32(at + 24);
    const size_t nameLength = u16(at + 28);
    m.name.assign(reinterpret_cast<const char*>(&zip[at + 46]), nameLength);
    const size_t local = u32(at + 42);
    const size_t data = local + 30 + u16(local + 26) + u16(local + 28);
    if (data + packed <= zip.size())
      m.data.assign(zip.begin() + static_cast<long>(data),
                    zip.begin() + static_cast<long>(data + packed));
    members.push_back(std::move(m));
    at += 46 + nameLength + u16(at + 30) + u16(at + 32);
  }
  return members;
}

}  // namespace

#if TESSALINE_HAVE_ZLIB

TEST(InflateDifferential, EveryLevelStrategyAndWindowOnRealAndRandomData) {
  std::vector<std::pair<std::string, Bytes>> inputs;
  const Bytes alice = CorpusText("alice29.txt");
  if (!alice.empty()) inputs.emplace_back("alice", Bytes(alice.begin(), alice.begin() + 70000));
  const Bytes ptt5 = CorpusText("ptt5");
  if (!ptt5.empty()) inputs.emplace_back("ptt5", Bytes(ptt5.begin(), ptt5.begin() + 120000));
  inputs.emplace_back("random", RandomBytes(30000, 1, 256));
  inputs.emplace_back("few symbols", RandomBytes(50000, 2, 3));
  inputs.emplace_back("empty", Bytes{});
  inputs.emplace_back("one byte", Bytes{42});
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (const auto& [name, data] : inputs) {
    for (int level = 0; level <= 9; ++level) {
      for (int strategy : strategies) {
        for (int window = 9; window <= 15; ++window) {
          const Bytes packed = ZlibDeflate(data, level, window, strategy, window == 9 ? 1 : 8);
          const auto result = RunInflate(packed, 0);
          ASSERT_EQ(result.output, data)
              << name << " level " << level << " strategy " << strategy << " window " << window;
          ASSERT_EQ(result.checksum, Crc32(data.data(), data.size()));
          ASSERT_EQ(result.helper.InputUsed(), static_cast<int64_t>(packed.size()));
        }
      }
    }
  }
}

TEST(InflateDifferential, WholeCorpusTextsAtLevels1And9) {
  REQUIRE_CORPUS();
  for (const char* name : {"angular.js", "kennedy.xls", "lcet10.txt", "random_org_10k.bin",
                           "www.reddit.com6.23.2017.har", "TestDocument.pdf"}) {
    const Bytes data = CorpusText(name);
    ASSERT_FALSE(data.empty()) << name;
    for (int level : {1, 9}) {
      const auto result = RunInflate(ZlibDeflate(data, level), 0);
      ASSERT_EQ(result.output, data) << name << " " << level;
      ASSERT_EQ(result.checksum, Crc32(data.data(), data.size()));
    }
  }
}

// Every cut of a stream fails cleanly with one of the truncation texts, and
// what reaches the destination is a prefix of the data.
TEST(InflateDifferential, EveryTruncationFailsCleanly) {
  const Bytes data = RandomBytes(3000, 5, 16);
  for (int level : {0, 1, 9}) {
    const Bytes packed = ZlibDeflate(data, level);
    for (size_t cut = 0; cut < packed.size(); ++cut) {
      rtl::TMemoryStream source(Bytes(packed.begin(), packed.begin() + static_cast<long>(cut)));
      rtl::TMemoryStream dest;
      try {
        Inflate(&source, &dest, nullptr);
        FAIL() << "cut " << cut << " decoded";
      } catch (const EAbInflateError& error) {
        ASSERT_NE(error.Message().find("no more compressed data in stream"), std::string::npos)
            << cut << ": " << error.Message();
      }
      ASSERT_LE(dest.Bytes().size(), data.size());
      ASSERT_TRUE(std::equal(dest.Bytes().begin(), dest.Bytes().end(), data.begin())) << cut;
    }
  }
}

#endif  // TESSALINE_HAVE_ZLIB

TEST(InflateDeflate64, CorpusArchivesMatchTheirCrc) {
  REQUIRE_CORPUS();
  int decoded = 0;
  for (const char* file : {"deflate64/deflate64.zip", "deflate64/small_deflate64.zip"}) {
    const auto members = ReadZip(testing_support::ReadWholeFile(testing_support::CorpusFile(file)));
    ASSERT_FALSE(members.empty()) << file;
    for (const auto& m : members) {
      if (m.method != 9) continue;
      TAbDeflateHelper options;
      options.SetDecodeFlags(dfcDeflate64);
      const auto result = RunInflate(m.data, options);
      EXPECT_EQ(result.output.size(), m.size) << file << " " << m.name;
      EXPECT_EQ(result.checksum, m.crc) << file << " " << m.name;
      ++decoded;
    }
  }
  EXPECT_EQ(decoded, 4);
}

#if TESSALINE_RUNS_PEERS

TEST(InflateDeflate64, StreamsFrom7ZipDecodeToTheirSource) {
  // Debian's 7zip package, which ./dev installs, names the program 7zz.
  ASSERT_EQ(std::system("7zz i >/dev/null 2>&1"), 0) << "7zz (Debian package 7zip) is missing";
  testing_support::ScratchFolder folder;
  // 7-Zip stores what does not compress, so only compressible data here.
  std::vector<Bytes> inputs = {RandomBytes(300000, 9, 4), RandomBytes(20000, 10, 40)};
  const Bytes text = CorpusText("lcet10.txt");
  if (!text.empty()) inputs.push_back(text);
  const Bytes har = CorpusText("www.reddit.com6.23.2017.har");
  if (!har.empty()) inputs.push_back(har);
  for (size_t i = 0; i < inputs.size(); ++i) {
    const std::string plainPath = folder.Native() + "/plain" + std::to_string(i) + ".bin";
    const std::string zipPath = folder.Native() + "/packed" + std::to_string(i) + ".zip";
    std::ofstream(plainPath, std::ios::binary)
        .write(reinterpret_cast<const char*>(inputs[i].data()),
               static_cast<std::streamsize>(inputs[i].size()));
    const std::string command =
        "7zz a -tzip -mm=Deflate64 -mx9 '" + zipPath + "' '" + plainPath + "' >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    const auto members = ReadZip(testing_support::ReadWholeFile(zipPath));
    ASSERT_EQ(members.size(), 1u);
    ASSERT_EQ(members[0].method, 9);
    const auto result = RunInflate(members[0].data, dfcDeflate64);
    EXPECT_EQ(result.output, inputs[i]) << i;
    EXPECT_EQ(result.checksum, members[0].crc) << i;
  }
}

#endif  // TESSALINE_RUNS_PEERS
