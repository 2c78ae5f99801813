// The Deflate decoder on hand-made streams: block types, the Deflate64
// differences, refused corrupt input, truncation and the caller's contract.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "support/AbDfTestSupport.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbDfOutW.h"
#include "zip/engine/AbUtils.h"

using namespace ab;
using namespace dftest;

namespace {

// A stream that is not a memory stream, over one: the decoder reads and
// writes it as it would a file.
class TForwardingStream : public rtl::TStream {
 public:
  TForwardingStream() = default;
  explicit TForwardingStream(Bytes bytes) : inner(std::move(bytes)) {}
  int32_t Read(void* buffer, int32_t count) override { return inner.Read(buffer, count); }
  int32_t Write(const void* buffer, int32_t count) override { return inner.Write(buffer, count); }
  int64_t Seek(int64_t offset, int origin) override { return inner.Seek(offset, origin); }
  rtl::TMemoryStream inner;
};

const std::string kPrefix =
    "Inflate error, possibly a corrupted compressed stream. (Internal cause: ";

Bytes StoredBlock(const Bytes& data, bool final) {
  Bytes out = {static_cast<uint8_t>(final ? 1 : 0), static_cast<uint8_t>(data.size()),
               static_cast<uint8_t>(data.size() >> 8), static_cast<uint8_t>(~data.size()),
               static_cast<uint8_t>(~data.size() >> 8)};
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

// Stored blocks holding data, then a fixed block with the writer's symbols.
Bytes StoredThenFixed(const Bytes& data, const std::function<void(BitWriter&)>& symbols) {
  Bytes out;
  for (size_t at = 0; at < data.size(); at += 65535) {
    const size_t n = std::min<size_t>(65535, data.size() - at);
    const Bytes part = StoredBlock(
        Bytes(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + n)),
        false);
    out.insert(out.end(), part.begin(), part.end());
  }
  BitWriter writer;
  writer.Put(1, 1);
  writer.Put(1, 2);
  symbols(writer);
  writer.FixedLitLen(256);
  const Bytes tail = writer.Finish();
  out.insert(out.end(), tail.begin(), tail.end());
  return out;
}

Bytes Pattern(size_t size, uint32_t seed = 7) {
  std::mt19937 random(seed);
  Bytes data(size);
  for (auto& b : data) b = static_cast<uint8_t>(random() % 251);
  return data;
}

}  // namespace

TEST(InflateBlocks, EmptyFixedBlockAndEmptyStoredBlockGiveNothing) {
  auto fixed = RunInflate({0x03, 0x00});
  EXPECT_TRUE(fixed.output.empty());
  EXPECT_EQ(fixed.checksum, 0u);
  auto stored = RunInflate({0x01, 0x00, 0x00, 0xFF, 0xFF});
  EXPECT_TRUE(stored.output.empty());
  EXPECT_EQ(stored.checksum, 0u);
  EXPECT_EQ(stored.helper.InputUsed(), 5);
}

TEST(InflateBlocks, StoredLengthMismatchIsRefused) {
  EXPECT_EQ(
      InflateError({0x01, 0x05, 0x00, 0xFA, 0xFE}),
      kPrefix + "invalid stored block (length and NOT length do not match) [InflateStoredBlock])");
}

TEST(InflateBlocks, BlockType3IsRefused) {
  EXPECT_EQ(InflateError({0x07, 0x00}),
            kPrefix + "starting new block, but invalid block type [Inflate])");
}

TEST(InflateBlocks, DistanceOneLength258RepeatsTheLastByte) {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  w.FixedLitLen('a');
  w.FixedLitLen(285);
  w.FixedDistance(0);
  w.FixedLitLen('b');
  w.FixedLitLen(256);
  const auto result = RunInflate(w.Finish());
  Bytes expected(259, 'a');
  expected.push_back('b');
  EXPECT_EQ(result.output, expected);
  EXPECT_EQ(result.checksum, Crc32(expected.data(), expected.size()));
}

TEST(InflateBlocks, Symbol285ReadsSixteenExtraBitsOnlyInDeflate64) {
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  w.FixedLitLen('x');
  w.FixedLitLen(285);
  w.Put(65535, 16);  // the longest Deflate64 match: 3 + 65535
  w.FixedDistance(0);
  w.FixedLitLen(256);
  const Bytes stream = w.Finish();
  const auto wide = RunInflate(stream, dfcDeflate64);
  EXPECT_EQ(wide.output, Bytes(1 + 65538, 'x'));
  EXPECT_EQ(wide.checksum, Crc32(wide.output.data(), wide.output.size()));
  // In plain Deflate the same bits are a 258-byte match followed by
  // something else entirely; it must not decode to the Deflate64 result.
  try {
    const auto plain = RunInflate(stream, 0);
    EXPECT_NE(plain.output, wide.output);
    ASSERT_GE(plain.output.size(), 259u);
    EXPECT_EQ(Bytes(plain.output.begin(), plain.output.begin() + 259), Bytes(259, 'x'));
  } catch (const EAbInflateError&) {
  }
}

TEST(InflateBlocks, DistanceCodes30And31OnlyInDeflate64) {
  const Bytes history = Pattern(70000);
  for (int symbol : {30, 31}) {
    const uint32_t extra = 1234;
    const Bytes stream = StoredThenFixed(history, [&](BitWriter& w) {
      w.FixedLitLen(260);  // length 6
      w.FixedDistance(symbol);
      w.Put(extra, 14);
    });
    const uint32_t distance = (symbol == 30 ? 32769 : 49153) + extra;
    Bytes expected = history;
    for (int i = 0; i < 6; ++i) expected.push_back(expected[expected.size() - distance]);
    EXPECT_EQ(RunInflate(stream, dfcDeflate64).output, expected) << symbol;
    EXPECT_EQ(InflateError(stream, 0),
              kPrefix + "decoded an invalid distance symbol: greater than 29 [DecodeData])");
  }
}

TEST(InflateBlocks, DistanceCount31And32OnlyInDeflate64) {
  for (int distCount : {31, 32}) {
    // 255 literal codes of 8 bits and two of 9 (literal 0, end of block)
    // fill the code space; so do 32 distance codes of 5 bits, or 30 of 5
    // bits and one of 4.
    std::vector<int> lit(257, 8);
    lit[0] = lit[256] = 9;
    std::vector<int> dist(static_cast<size_t>(distCount), 5);
    if (distCount == 31) dist[0] = 4;
    BitWriter w;
    PutDynamicHeader(w, true, lit, dist);
    const auto litCodes = CanonicalCodes(lit);
    for (int s : {int{'H'}, int{'i'}, 256})
      w.PutCode(litCodes[static_cast<size_t>(s)], lit[static_cast<size_t>(s)]);
    const Bytes stream = w.Finish();
    EXPECT_EQ(RunInflate(stream, dfcDeflate64).output, (Bytes{'H', 'i'})) << distCount;
    EXPECT_EQ(
        InflateError(stream, 0),
        kPrefix +
            "count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock])");
  }
}

TEST(InflateBlocks, OutputPastTheWindowKeepsItsChecksum) {
  // Matches reach back across every flush of the window, in both modes.
  for (uint32_t flags : {0u, dfcDeflate64}) {
    const Bytes history = Pattern(600000, 3);
    const Bytes stream = StoredThenFixed(history, [](BitWriter& w) {
      for (int i = 0; i < 50; ++i) {
        w.FixedLitLen(284);
        w.Put(31, 5);         // 258
        w.FixedDistance(29);  // 24577 + 8191 = 32768
        w.Put(8191, 13);
      }
    });
    Bytes expected = history;
    for (int i = 0; i < 50 * 258; ++i) expected.push_back(expected[expected.size() - 32768]);
    const auto result = RunInflate(stream, flags);
    EXPECT_EQ(result.output, expected);
    EXPECT_EQ(result.checksum, Crc32(expected.data(), expected.size()));
    EXPECT_EQ(result.helper.OutputMade(), static_cast<int64_t>(expected.size()));
  }
}

TEST(InflateBlocks, LiteralsAndLengthsWithCodesLongerThanTheFirstLevel) {
  // 256 codes of 8 bits, the last split again and again: literals 250 to
  // 254 get codes of 12 to 15 bits, beyond the first level of the table,
  // among short literals and matches, long enough for the fast loop.
  std::vector<int> lit(264, 0);
  for (int s = 0; s < 247; ++s) lit[static_cast<size_t>(s)] = 8;
  for (int s = 256; s < 264; ++s) lit[static_cast<size_t>(s)] = 8;
  for (int s = 247; s < 254; ++s) lit[static_cast<size_t>(s)] = s - 238;  // 9 to 15
  lit[254] = 15;
  // Distance codes of 5 bits, two of 4 (distances 1 and 2).
  std::vector<int> dist(30, 5);
  dist[0] = dist[1] = 4;
  static const int kDistanceBase[30] = {
      1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
      193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  const auto litCodes = CanonicalCodes(lit);
  const auto distCodes = CanonicalCodes(dist);
  std::mt19937 random(99);
  BitWriter w;
  PutDynamicHeader(w, true, lit, dist);
  Bytes expected;
  auto putLiteral = [&](int symbol) {
    w.PutCode(litCodes[static_cast<size_t>(symbol)], lit[static_cast<size_t>(symbol)]);
    expected.push_back(static_cast<uint8_t>(symbol));
  };
  for (int i = 0; i < 40000; ++i) {
    const uint32_t pick = random() % 10;
    if (pick < 4 || expected.size() < 40) {
      putLiteral(250 + static_cast<int>(random() % 5));
    } else if (pick < 7) {
      putLiteral(static_cast<int>(random() % 247));
    } else {
      // Lengths 3 to 9 (symbols 257 to 263, no extra bits).
      const int length = 3 + static_cast<int>(random() % 7);
      int symbol = static_cast<int>(random() % 30);
      while (kDistanceBase[symbol] > static_cast<int>(expected.size())) --symbol;
      const int extraBits = symbol < 4 ? 0 : (symbol - 2) / 2;
      const int room = static_cast<int>(expected.size()) - kDistanceBase[symbol] + 1;
      const int extra =
          static_cast<int>(random() % static_cast<uint32_t>(std::min(1 << extraBits, room)));
      w.PutCode(litCodes[static_cast<size_t>(254 + length)],
                lit[static_cast<size_t>(254 + length)]);
      w.PutCode(distCodes[static_cast<size_t>(symbol)], dist[static_cast<size_t>(symbol)]);
      if (extraBits > 0) w.Put(static_cast<uint32_t>(extra), extraBits);
      const size_t from = expected.size() - static_cast<size_t>(kDistanceBase[symbol] + extra);
      for (int k = 0; k < length; ++k) expected.push_back(expected[from + static_cast<size_t>(k)]);
    }
  }
  w.PutCode(litCodes[256], lit[256]);
  const Bytes stream = w.Finish();
  for (uint32_t flags : {0u, dfcDeflate64}) {
    const auto result = RunInflate(stream, flags);
    ASSERT_EQ(result.output, expected) << flags;
    EXPECT_EQ(result.checksum, Crc32(expected.data(), expected.size()));
    EXPECT_EQ(result.helper.InputUsed(), static_cast<int64_t>(stream.size()));
  }
}

TEST(InflateCorrupt, RefusedCodeSetsAndRuns) {
  // Over-subscribed literal/length code: 257 codes of 8 bits.
  {
    BitWriter w;
    PutDynamicHeader(w, true, std::vector<int>(257, 8), {1, 1});
    EXPECT_EQ(
        InflateError(w.Finish()),
        kPrefix + "code lengths over-subscribe the code space [TAbDfDecodeHuffmanTree.Build])");
  }
  // Incomplete literal/length code with more than one code: plain Deflate
  // refuses it as zlib does; it is valid Deflate64, refused only where an
  // unused code is met.
  {
    std::vector<int> lit(257, 0);
    lit[65] = 2;
    lit[256] = 2;
    const auto codes = CanonicalCodes(lit);
    BitWriter w;
    PutDynamicHeader(w, true, lit, {1, 1});
    w.PutCode(codes[65], 2);
    w.PutCode(codes[65], 2);
    w.PutCode(codes[256], 2);
    const Bytes stream = w.Finish();
    EXPECT_EQ(
        InflateError(stream),
        kPrefix +
            "code lengths leave part of the code space unused [TAbDfDecodeHuffmanTree.Build])");
    EXPECT_EQ(RunInflate(stream, dfcDeflate64).output, (Bytes{'A', 'A'}));
    BitWriter unused;
    PutDynamicHeader(unused, true, lit, {1, 1});
    unused.PutCode(codes[65], 2);
    unused.PutCode(3, 2);  // 11: no code
    EXPECT_EQ(InflateError(unused.Finish(), dfcDeflate64),
              kPrefix + "decoded an invalid length symbol: greater than 285 [DecodeData])");
  }
  // An incomplete distance code: a lone three-bit code.
  {
    std::vector<int> lit(258, 0);
    lit[65] = 1;
    lit[256] = 2;
    lit[257] = 2;  // length 3
    std::vector<int> dist(30, 0);
    dist[0] = 3;  // distance 1, one code of three bits
    const auto litCodes = CanonicalCodes(lit);
    BitWriter w;
    PutDynamicHeader(w, true, lit, dist);
    w.PutCode(litCodes[65], 1);
    w.PutCode(litCodes[257], 2);
    w.PutCode(0, 3);
    w.PutCode(litCodes[256], 2);
    const Bytes stream = w.Finish();
    EXPECT_EQ(RunInflate(stream, dfcDeflate64).output, (Bytes{'A', 'A', 'A', 'A'}));
    EXPECT_NE(InflateError(stream), "");
  }
  // No distance codes at all is fine until a distance is needed.
  {
    std::vector<int> lit(257, 0);
    lit[65] = 2;
    lit[256] = 2;
    lit[66] = 1;
    std::vector<int> litWithLength = lit;
    litWithLength.resize(258, 0);
    litWithLength[66] = 2;
    litWithLength[257] = 2;
    const auto codes = CanonicalCodes(litWithLength);
    BitWriter ok;
    PutDynamicHeader(ok, true, litWithLength, {0});
    ok.PutCode(codes[65], 2);
    ok.PutCode(codes[256], 2);
    EXPECT_EQ(RunInflate(ok.Finish()).output, Bytes{'A'});
    BitWriter used;
    PutDynamicHeader(used, true, litWithLength, {0});
    used.PutCode(codes[65], 2);
    used.PutCode(codes[257], 2);
    used.Put(0, 8);
    EXPECT_EQ(InflateError(used.Finish()),
              kPrefix + "decoded an invalid distance symbol: greater than 29 [DecodeData])");
  }
}

TEST(InflateCorrupt, RepeatWithoutPreviousAndRunPastTheEnd) {
  // A code-length code where only 16 and 18 and 0 have codes (2 bits each,
  // one unused slot filled by 1).
  auto header = [](BitWriter& w, std::initializer_list<std::pair<int, int>> symbols) {
    static const int kOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                   11, 4,  12, 3, 13, 2, 14, 1, 15};
    std::vector<int> cl(19, 0);
    cl[16] = cl[18] = cl[0] = cl[1] = 2;
    w.Put(1, 1);
    w.Put(2, 2);
    w.Put(0, 5);  // 257
    w.Put(0, 5);  // 1
    w.Put(15, 4);
    for (int i = 0; i < 19; ++i) w.Put(static_cast<uint32_t>(cl[kOrder[i]]), 3);
    const auto codes = CanonicalCodes(cl);
    for (auto [symbol, extra] : symbols) {
      w.PutCode(codes[static_cast<size_t>(symbol)], 2);
      if (symbol == 16) w.Put(static_cast<uint32_t>(extra), 2);
      if (symbol == 18) w.Put(static_cast<uint32_t>(extra), 7);
    }
  };
  BitWriter first;
  header(first, {{16, 0}});
  EXPECT_EQ(InflateError(first.Finish()),
            kPrefix + "a repeat of the previous code length comes first {ReadLitDistCodeLengths})");
  BitWriter past;
  header(past, {{18, 127}, {18, 127}, {18, 0}});  // 138 + 138 + 11 > 258
  EXPECT_EQ(
      InflateError(past.Finish()),
      kPrefix + "a code length repeat runs past the last code length {ReadLitDistCodeLengths})");
}

TEST(InflateCorrupt, DistanceBeforeTheFirstByteIsRefused) {
  for (uint32_t flags : {0u, dfcDeflate64}) {
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    w.FixedLitLen('a');
    w.FixedLitLen('b');
    w.FixedLitLen(257);
    w.FixedDistance(2);  // distance 3, only 2 bytes made
    w.FixedLitLen(256);
    EXPECT_EQ(InflateError(w.Finish(), flags),
              kPrefix + "distance reaches back before the first byte produced [DecodeData])");
  }
}

TEST(InflateCorrupt, InvalidLengthSymbolsOfTheFixedCode) {
  for (int symbol : {286, 287}) {
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    w.FixedLitLen(symbol);
    EXPECT_EQ(InflateError(w.Finish()),
              kPrefix + "decoded an invalid length symbol: greater than 285 [DecodeData])");
  }
}

TEST(InflateTruncated, EachPlaceReportsItsOwnText) {
  const std::string more = "no more compressed data in stream [TAbDfInBitStream.";
  EXPECT_EQ(InflateError({}), kPrefix + more + "ReadBit])");
  // A non-final empty stored block, then nothing.
  EXPECT_EQ(InflateError({0x00, 0x00, 0x00, 0xFF, 0xFF}), kPrefix + more + "ReadBit])");
  // A dynamic block header cut inside HLIT.
  EXPECT_EQ(InflateError({0x05}), kPrefix + more + "ReadBits])");
  // A fixed block cut inside a literal code.
  EXPECT_EQ(InflateError({0x03 | (0x0C << 3)}), kPrefix + more + "DiscardBits])");
  // A stored block cut inside its data, and inside LEN.
  Bytes stored = StoredBlock(Pattern(100), true);
  stored.resize(50);
  EXPECT_EQ(InflateError(stored), kPrefix + more + "ReadBuffer])");
  EXPECT_EQ(InflateError({0x01, 0x10}), kPrefix + more + "ReadBuffer])");
}

TEST(InflateTruncated, OutputBeforeTheFailureReachesTheDestination) {
  const Bytes data = Pattern(100000);
  Bytes stream = StoredBlock(Bytes(data.begin(), data.begin() + 60000), false);
  const Bytes second = StoredBlock(Bytes(data.begin() + 60000, data.end()), true);
  stream.insert(stream.end(), second.begin(), second.end());
  stream.resize(stream.size() - 1000);
  rtl::TMemoryStream source(stream);
  rtl::TMemoryStream dest;
  EXPECT_THROW(Inflate(&source, &dest, nullptr), EAbInflateError);
  EXPECT_EQ(dest.Bytes(), Bytes(data.begin(), data.end() - 1000));
  EXPECT_EQ(source.Position(), static_cast<int64_t>(stream.size()));
}

TEST(InflateContract, DataBehindTheFinalBlockIsLeftInTheSource) {
  const Bytes data = Pattern(5000);
  for (size_t trailer : {0u, 1u, 7u, 40000u}) {
    Bytes stream = StoredThenFixed(data, [](BitWriter& w) { w.FixedLitLen('z'); });
    const size_t length = stream.size();
    stream.resize(length + trailer, 0xA5);
    rtl::TMemoryStream source(stream);
    source.SetPosition(0);
    rtl::TMemoryStream dest;
    TAbDeflateHelper helper;
    Inflate(&source, &dest, &helper);
    EXPECT_EQ(source.Position(), static_cast<int64_t>(length)) << trailer;
    EXPECT_EQ(helper.InputUsed(), static_cast<int64_t>(length));
    EXPECT_EQ(helper.OutputMade(), 5001);
  }
}

TEST(InflateContract, StartsAtTheStreamsPositions) {
  const Bytes stream = StoredBlock({'o', 'k'}, true);
  Bytes padded(3, 0xEE);
  padded.insert(padded.end(), stream.begin(), stream.end());
  rtl::TMemoryStream source(padded);
  source.SetPosition(3);
  rtl::TMemoryStream dest;
  dest.WriteBuffer("ab", 2);
  TAbDeflateHelper helper;
  Inflate(&source, &dest, &helper);
  EXPECT_EQ(dest.Bytes(), (Bytes{'a', 'b', 'o', 'k'}));
  EXPECT_EQ(helper.OutputMade(), 2);
  EXPECT_EQ(helper.InputUsed(), static_cast<int64_t>(stream.size()));
}

TEST(InflateContract, TestOnlyWritesNothingButCounts) {
  const Bytes data = Pattern(200000);
  const Bytes stream = StoredThenFixed(data, [](BitWriter& w) { w.FixedLitLen('q'); });
  TAbDeflateHelper options;
  options.SetDecodeFlags(dfcTestOnly);
  const auto result = RunInflate(stream, options);
  EXPECT_TRUE(result.output.empty());
  EXPECT_EQ(result.helper.OutputMade(), 200001);
  Bytes expected = data;
  expected.push_back('q');
  EXPECT_EQ(result.checksum, Crc32(expected.data(), expected.size()));
}

TEST(InflateContract, Adler32OnRequest) {
  const Bytes stream = StoredBlock({'W', 'i', 'k', 'i', 'p', 'e', 'd', 'i', 'a'}, true);
  EXPECT_EQ(RunInflate(stream, dfcUseAdler32).checksum, 0x11E60398u);
  EXPECT_EQ(RunInflate({0x03, 0x00}, dfcUseAdler32).checksum, 1u);
}

TEST(InflateContract, ProgressPerChunkAndAbort) {
  const Bytes data = Pattern(40000);
  const Bytes stream = StoredBlock(data, true);
  TAbDeflateHelper options;
  std::vector<int32_t> calls;
  options.OnInputProgress = [&](int32_t percent) { calls.push_back(percent); };
  options.SetInputSize(-1);  // the source's size
  auto result = RunInflate(stream, options);
  EXPECT_EQ(result.output, data);
  // 16384, 32768 and 40005 of 40005 bytes.
  EXPECT_EQ(calls, (std::vector<int32_t>{41, 82, 100}));
  calls.clear();
  options.SetInputSize(20000);  // a smaller size gives shares above 100
  RunInflate(stream, options);
  EXPECT_EQ(calls, (std::vector<int32_t>{82, 164, 200}));
  calls.clear();
  // A member above 4 GB: its size is not cut to 32 bits (which would leave
  // 20000 and give the shares above).
  options.SetInputSize((int64_t{1} << 32) + 20000);
  RunInflate(stream, options);
  EXPECT_EQ(calls, (std::vector<int32_t>{0, 0, 0}));
  options.SetInputSize(20000);

  options.OnInputProgress = [&](int32_t percent) {
    if (percent > 50) throw EAbAbortProgress();
  };
  result = RunInflate(stream, options);
  EXPECT_EQ(result.checksum, 0u);
  EXPECT_LT(result.output.size(), data.size());
  EXPECT_EQ(result.helper.OutputMade(), static_cast<int64_t>(result.output.size()));
}

TEST(InflateContract, StopAfterEndsQuietly) {
  const Bytes data = Pattern(300000);
  const Bytes stream = StoredThenFixed({}, [&](BitWriter& w) {
    for (int i = 0; i < 2000; ++i) w.FixedLitLen(data[static_cast<size_t>(i)] % 144);
  });
  for (int32_t stop : {1, 1000, 1999}) {
    TAbDeflateHelper options;
    options.SetStopAfter(stop);
    const auto result = RunInflate(stream, options);
    EXPECT_EQ(result.checksum, 0u);
    EXPECT_EQ(result.output.size(), static_cast<size_t>(stop));
    EXPECT_EQ(result.helper.OutputMade(), stop);
  }
}

TEST(InflateContract, EncryptedInputWithRightAndWrongPassphrase) {
  const Bytes data = Pattern(50000);
  const Bytes stream = StoredThenFixed(data, [](BitWriter& w) { w.FixedLitLen('e'); });
  const uint32_t checkWord = 0xC3000000u;
  Bytes encrypted = Encrypt(stream, "secret", 0xC3);
  encrypted.resize(encrypted.size() + 100, 0x11);  // bytes behind the member

  TAbDeflateHelper options;
  options.SetPasswordText("secret");
  options.SetCheckWord(checkWord);
  const auto right = RunInflate(encrypted, options);
  Bytes expected = data;
  expected.push_back('e');
  EXPECT_EQ(right.output, expected);
  EXPECT_EQ(right.sourcePosition, static_cast<int64_t>(encrypted.size() - 100));
  EXPECT_EQ(right.helper.InputUsed(), static_cast<int64_t>(encrypted.size() - 100));

  options.SetPasswordText("wrong");
  rtl::TMemoryStream source(encrypted);
  rtl::TMemoryStream dest;
  TAbDeflateHelper wrong;
  wrong.Assign(options);
  try {
    Inflate(&source, &dest, &wrong);
    FAIL() << "no error";
  } catch (const EAbInflatePasswordError& error) {
    EXPECT_EQ(error.Message(), "Inflate: stream is encrypted but passphrase is wrong");
  }
  EXPECT_EQ(source.Position(), 0);
  EXPECT_TRUE(dest.Bytes().empty());
}

TEST(InflateContract, MissingStreamsAreProgrammingErrors) {
  rtl::TMemoryStream stream;
  EXPECT_THROW(Inflate(nullptr, &stream, nullptr), rtl::EAssertionFailed);
  EXPECT_THROW(Inflate(&stream, nullptr, nullptr), rtl::EAssertionFailed);
}

TEST(InflateBlocks, LongMatchesCrossingTheFlushPointNearTheEndOfInput) {
  // Forty literals give the fast loop enough input to start; each match then
  // copies 65538 bytes, so the loop hands over near the end of the input
  // with the write position far past the window's flush point.
  for (int matches = 1; matches <= 4; ++matches) {
    BitWriter w;
    w.Put(1, 1);
    w.Put(1, 2);
    for (int i = 0; i < 40; ++i) w.FixedLitLen('a' + i % 20);
    for (int i = 0; i < matches; ++i) {
      w.FixedLitLen(285);
      w.Put(65535, 16);
      w.FixedDistance(0);
    }
    w.FixedLitLen(256);
    Bytes expected;
    for (int i = 0; i < 40; ++i) expected.push_back(static_cast<uint8_t>('a' + i % 20));
    expected.resize(expected.size() + static_cast<size_t>(matches) * 65538, 'a' + 19);
    const auto result = RunInflate(w.Finish(), dfcDeflate64);
    EXPECT_EQ(result.output, expected) << matches;
    EXPECT_EQ(result.checksum, Crc32(expected.data(), expected.size()));
  }
}

TEST(InflateBlocks, LongDeflate64MatchesReachEveryDestinationWhole) {
  // Deflate64 matches of up to 65538 bytes, repeating one byte or a period
  // of four, are copied in pieces the window's tail takes: into a memory
  // stream that is its own window (growing a step at a time from 4 KiB) and
  // into any other stream alike. A stop inside such a match ends the decode
  // within one piece of it.
  BitWriter w;
  w.Put(1, 1);
  w.Put(1, 2);
  Bytes expected;
  for (int i = 0; i < 40; ++i) {
    w.FixedLitLen('a' + i % 20);
    expected.push_back(static_cast<uint8_t>('a' + i % 20));
  }
  for (const auto& [extra, distanceCode] :
       {std::pair{65535, 0}, std::pair{297, 3}, std::pair{5000, 0}, std::pair{65535, 3}}) {
    w.FixedLitLen(285);
    w.Put(static_cast<uint32_t>(extra), 16);
    w.FixedDistance(static_cast<uint32_t>(distanceCode));
    const size_t distance = static_cast<size_t>(distanceCode) + 1;
    for (int i = 0; i < 3 + extra; ++i) expected.push_back(expected[expected.size() - distance]);
  }
  w.FixedLitLen(256);
  const Bytes stream = w.Finish();

  TForwardingStream other;
  rtl::TMemoryStream inPlace;
  for (rtl::TStream* dest :
       {static_cast<rtl::TStream*>(&other), static_cast<rtl::TStream*>(&inPlace)}) {
    rtl::TMemoryStream source(stream);
    TAbDeflateHelper helper;
    helper.SetDecodeFlags(dfcDeflate64);
    EXPECT_EQ(Inflate(&source, dest, &helper), Crc32(expected.data(), expected.size()));
    EXPECT_EQ(helper.OutputMade(), static_cast<int64_t>(expected.size()));
  }
  EXPECT_EQ(other.inner.Bytes(), expected);
  EXPECT_EQ(inPlace.Bytes(), expected);

  TAbDeflateHelper options;
  options.SetDecodeFlags(dfcDeflate64);
  options.SetStopAfter(30000);
  const auto stopped = RunInflate(stream, options);
  EXPECT_EQ(stopped.checksum, 0u);
  ASSERT_GE(stopped.output.size(), 30000u);
  EXPECT_LT(stopped.output.size(), 30000u + TAbDfOutputWindow::kMaxMatch);
  EXPECT_TRUE(std::equal(stopped.output.begin(), stopped.output.end(), expected.begin()));
}

TEST(InflateContract, ASourceNotInMemoryGivesTheSameResults) {
  // A memory stream is read where it lies; any other source through the
  // reader's own chunks: the progress, the bytes used and the source's
  // final position agree.
  const Bytes data = Pattern(70000);
  Bytes stream = StoredThenFixed(data, [](BitWriter& w) {
    w.FixedLitLen(257);
    w.FixedDistance(0);
  });
  const size_t length = stream.size();
  stream.resize(length + 30000, 0x5A);
  for (bool inMemory : {true, false}) {
    std::unique_ptr<rtl::TStream> source;
    if (inMemory)
      source = std::make_unique<rtl::TMemoryStream>(stream);
    else
      source = std::make_unique<TForwardingStream>(stream);
    rtl::TMemoryStream dest;
    TAbDeflateHelper helper;
    std::vector<int32_t> calls;
    helper.OnInputProgress = [&](int32_t percent) { calls.push_back(percent); };
    helper.SetInputSize(static_cast<int64_t>(length));
    const uint32_t crc = Inflate(source.get(), &dest, &helper);
    Bytes expected = data;
    expected.insert(expected.end(), 3, data.back());
    EXPECT_EQ(dest.Bytes(), expected) << inMemory;
    EXPECT_EQ(crc, Crc32(expected.data(), expected.size()));
    EXPECT_EQ(source->Position(), static_cast<int64_t>(length)) << inMemory;
    EXPECT_EQ(helper.InputUsed(), static_cast<int64_t>(length));
    // 16 KiB a step: 16384, 32768, 49152, 65536, then the last 16 KiB read
    // ahead into the bytes behind the stream.
    EXPECT_EQ(calls, (std::vector<int32_t>{23, 47, 70, 94, 117})) << inMemory;
  }
}

TEST(InflateContract, AMemoryDestinationGetsWhatAnyOtherDestinationGets) {
  // A memory stream written at its end is decoded into in place and grows
  // a chunk at a time; written anywhere else, and any other stream, it is
  // written to. Each must end with exactly the bytes made, and a failure
  // with exactly the bytes made before it.
  // Several chunks of output, with matches across every chunk boundary.
  Bytes data;
  std::mt19937 random(11);
  while (data.size() < 1300000) {
    const size_t run = 1 + random() % 300;
    if (data.size() > 70000 && random() % 3 != 0) {
      const size_t from = data.size() - 1 - random() % 60000;
      for (size_t i = 0; i < run; ++i) data.push_back(data[from + i]);
    } else {
      for (size_t i = 0; i < run; ++i) data.push_back(static_cast<uint8_t>('a' + random() % 26));
    }
  }
#if TESSALINE_HAVE_ZLIB
  const Bytes whole = ZlibDeflate(data, 6);
#else
  // No zlib in this build: stored blocks, then matches that repeat the last
  // byte.
  const Bytes whole = StoredThenFixed(data, [](BitWriter& w) {
    for (int i = 0; i < 4; ++i) {
      w.FixedLitLen(285);
      w.FixedDistance(0);
    }
  });
  data.insert(data.end(), 4 * 258, data.back());
#endif
  const Bytes prefix = {'h', 'e', 'a', 'd'};
  for (size_t cut : {size_t{0}, whole.size() / 2}) {
    const Bytes stream(whole.begin(), whole.end() - static_cast<long>(cut));
    TForwardingStream other;
    other.inner.WriteBuffer(prefix.data(), 4);
    rtl::TMemoryStream atEnd;
    atEnd.WriteBuffer(prefix.data(), 4);
    // Written at its start, with more bytes than the output after it.
    rtl::TMemoryStream inside(Bytes(data.size() + 10, 0xEE));
    for (rtl::TStream* dest :
         {static_cast<rtl::TStream*>(&other), static_cast<rtl::TStream*>(&atEnd),
          static_cast<rtl::TStream*>(&inside)}) {
      rtl::TMemoryStream source(stream);
      TAbDeflateHelper helper;
      uint32_t crc = 0;
      if (cut == 0)
        crc = Inflate(&source, dest, &helper);
      else
        EXPECT_THROW(Inflate(&source, dest, &helper), EAbInflateError);
      if (cut == 0) {
        EXPECT_EQ(crc, Crc32(data.data(), data.size()));
        EXPECT_EQ(helper.OutputMade(), static_cast<int64_t>(data.size()));
      }
    }
    const Bytes& made = other.inner.Bytes();
    ASSERT_GT(made.size(), 4u);
    EXPECT_TRUE(std::equal(made.begin() + 4, made.end(), data.begin()));
    if (cut == 0) {
      EXPECT_EQ(made.size(), data.size() + 4);
    }
    EXPECT_EQ(atEnd.Bytes(), made);
    EXPECT_EQ(atEnd.Position(), static_cast<int64_t>(made.size()));
    EXPECT_EQ(inside.Bytes().size(), data.size() + 10);
    EXPECT_TRUE(std::equal(made.begin() + 4, made.end(), inside.Bytes().begin()));
    EXPECT_TRUE(std::all_of(inside.Bytes().begin() + static_cast<long>(made.size() - 4),
                            inside.Bytes().end(), [](uint8_t b) { return b == 0xEE; }));
  }
}
