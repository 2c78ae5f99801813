// The parallel Inflate against the sequential decoder: real texts, streams
// built to be hard for a decoder that joins in the middle, Deflate64, and
// corrupt data. Chunks are made small so that a few hundred kilobytes cut
// into many, and the tests check that chunks decoded ahead were used, not
// only that the result is right.
#include <gtest/gtest.h>

#include <random>

#include "support/AbDfTestSupport.h"
#include "support/Corpus.h"
#include "zip/engine/AbDfBlockStart.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbDfParallel.h"
#include "zip/engine/AbExcept.h"

#if TESSALINE_HAVE_ZLIB
#include <zlib.h>
#endif

using namespace ab;
using namespace dftest;

namespace {

struct Parallel {
  Bytes output;
  TAbParallelInflateResult result;
  std::string error;  // the message of the EAbInflateError, if any
};

Parallel RunParallel(const Bytes& input, unsigned threads, size_t chunkInput, size_t chunkOutput,
                     bool deflate64 = false) {
  TAbParallelInflateOptions options;
  options.threads = threads;
  options.chunkInput = chunkInput;
  options.chunkOutput = chunkOutput;
  options.deflate64 = deflate64;
  Parallel run;
  try {
    run.result = ParallelInflate(input.data(), input.size(), options,
                                 [&](const uint8_t* bytes, size_t count) {
                                   run.output.insert(run.output.end(), bytes, bytes + count);
                                 });
  } catch (const EAbInflateError& error) {
    run.error = error.Message();
  }
  return run;
}

// The parallel result at several cuts equals the sequential one; returns how
// many chunks decoded ahead were used, over all the cuts.
[[maybe_unused]] size_t ExpectSequentialResult(const Bytes& input, bool deflate64 = false) {
  const InflateResult sequential = RunInflate(input, deflate64 ? dfcDeflate64 : 0);
  size_t joined = 0;
  for (const size_t chunkInput : {size_t{4096}, size_t{65536}}) {
    for (const unsigned threads : {1u, 3u}) {
      const Parallel run = RunParallel(input, threads, chunkInput, size_t{1} << 18, deflate64);
      EXPECT_EQ(run.error, "") << chunkInput << " " << threads;
      EXPECT_EQ(run.output, sequential.output) << chunkInput << " " << threads;
      EXPECT_EQ(run.result.crc, sequential.checksum);
      joined += run.result.joined;
    }
  }
  return joined;
}

[[maybe_unused]] Bytes RandomBytes(size_t size, uint32_t seed, int alphabet) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (auto& b : data) b = static_cast<uint8_t>(random() % static_cast<uint32_t>(alphabet));
  return data;
}

// The raw streams of an archive's members of one method, through its
// central directory.
std::vector<Bytes> MemberStreams(const Bytes& zip, uint16_t method) {
  auto u16 = [&](size_t at) { return static_cast<uint32_t>(zip[at] | (zip[at + 1] << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
  std::vector<Bytes> streams;
  size_t end = zip.size() - 22;
  while (end > 0 && u32(end) != 0x06054b50) --end;
  size_t at = u32(end + 16);
  for (uint32_t i = 0; i < u16(end + 10); ++i) {
    const size_t local = u32(at + 42);
    const size_t data = local + 30 + u16(local + 26) + u16(local + 28);
    if (u16(at + 10) == method)
      streams.emplace_back(zip.begin() + static_cast<ptrdiff_t>(data),
                           zip.begin() + static_cast<ptrdiff_t>(data + u32(at + 20)));
    at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32);
  }
  return streams;
}

}  // namespace

TEST(ParallelInflate, Deflate64MembersWithTheirWideWindow) {
  REQUIRE_CORPUS();
  const std::vector<Bytes> streams = MemberStreams(
      testing_support::ReadWholeFile(testing_support::CorpusFile("deflate64/deflate64.zip")), 9);
  ASSERT_FALSE(streams.empty());
  size_t joined = 0;
  for (const Bytes& stream : streams) joined += ExpectSequentialResult(stream, true);
  EXPECT_GT(joined, 0u);
}

#if TESSALINE_HAVE_ZLIB

TEST(ParallelInflate, CorpusTextsAtEveryLevelEqualTheSequentialDecoder) {
  REQUIRE_CORPUS();
  for (const char* name : {"lcet10.txt", "kennedy.xls", "TestDocument.pdf", "ptt5",
                           "www.reddit.com6.23.2017.har", "random_org_10k.bin"}) {
    const Bytes text = CorpusText(name);
    ASSERT_FALSE(text.empty()) << name;
    for (const int level : {1, 6, 9}) {
      const size_t joined = ExpectSequentialResult(ZlibDeflate(text, level));
      if (text.size() > 400000) {
        EXPECT_GT(joined, 0u) << name << " " << level;
      }
    }
  }
}

TEST(ParallelInflate, StoredFixedAndFarReachingStreams) {
  // Stored blocks only; fixed blocks only, which no chunk can guess and so
  // decode on the thread that joins them; and a random 32 KiB repeated, whose
  // matches reach a whole window back across every chunk boundary.
  const Bytes noise = RandomBytes(600000, 1, 256);
  EXPECT_GT(ExpectSequentialResult(ZlibDeflate(noise, 0)), 0u);
  const Bytes text = RandomBytes(300000, 2, 20);
  ExpectSequentialResult(ZlibDeflate(text, 6, 15, Z_FIXED));
  Bytes repeated;
  const Bytes period = RandomBytes(32768, 3, 256);
  for (int i = 0; i < 24; ++i) repeated.insert(repeated.end(), period.begin(), period.end());
  for (size_t i = 0; i < repeated.size(); i += 4099) repeated[i] ^= 0x5A;
  EXPECT_GT(ExpectSequentialResult(ZlibDeflate(repeated, 9)), 0u);
}

#endif  // TESSALINE_HAVE_ZLIB

TEST(ParallelInflate, OneHugeBlockFillsChunkAfterChunk) {
  // One final fixed block of 40 MB: literals, then matches of 258 at
  // distance 1. Its chunks fill up mid-block and are carried on in turn.
  BitWriter writer;
  writer.Put(1, 1);
  writer.Put(1, 2);
  for (int i = 0; i < 300; ++i) writer.FixedLitLen(i % 200);
  for (int i = 0; i < 160000; ++i) {
    writer.FixedLitLen(285);
    writer.FixedDistance(0);
  }
  writer.FixedLitLen(256);
  const Bytes input = writer.Finish();
  const InflateResult sequential = RunInflate(input);
  ASSERT_EQ(sequential.output.size(), 300u + 160000u * 258u);
  const Parallel run = RunParallel(input, 2, 1024, 65536);
  EXPECT_EQ(run.error, "");
  EXPECT_EQ(run.output, sequential.output);
  EXPECT_EQ(run.result.crc, sequential.checksum);
}

#if TESSALINE_HAVE_ZLIB

TEST(ParallelInflate, CorruptAndCutStreamsFailAsTheSequentialDecoderDoes) {
  const Bytes text = RandomBytes(400000, 4, 30);
  const Bytes input = ZlibDeflate(text, 6);
  std::mt19937 random(5);
  for (int trial = 0; trial < 60; ++trial) {
    Bytes damaged = input;
    if (trial % 3 == 0) {
      damaged.resize(random() % input.size());
    } else {
      for (int i = 0; i < 1 + trial % 4; ++i)
        damaged[random() % damaged.size()] ^= 1u << (random() % 8);
    }
    const std::string error = InflateError(damaged);
    const InflateResult sequential = error.empty() ? RunInflate(damaged) : InflateResult{};
    const Parallel run = RunParallel(damaged, 2, 4096, size_t{1} << 17);
    EXPECT_EQ(run.error.empty(), error.empty()) << trial << " " << error << " / " << run.error;
    if (error.empty()) {
      EXPECT_EQ(run.output, sequential.output) << trial;
    }
  }
}

#endif  // TESSALINE_HAVE_ZLIB
