// Builds the two-level decoding tables of canonical Huffman codes, and the
// shared fixed trees.
#include "archive/AbDfHufD.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "archive/AbDfBase.h"
#include "rtl/Format.h"

namespace ab {

namespace {

// Length symbols 257..285; 285 is replaced below for Deflate64.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                      15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                      67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distance symbols 0..31; 30 and 31 exist only in Deflate64.
constexpr uint16_t kDistanceBase[32] = {1,    2,    3,    4,     5,     7,     9,     13,
                                        17,   25,   33,   49,    65,    97,    129,   193,
                                        257,  385,  513,  769,   1025,  1537,  2049,  3073,
                                        4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};

// First-level widths: wide enough that nearly every code of real data is
// found with one lookup, small enough that a table is cheap to fill per block.
int TableBitsFor(TAbDfTreeKind kind) {
  switch (kind) {
    case TAbDfTreeKind::CodeLengths:
      return 7;
    case TAbDfTreeKind::LitLen:
      return 11;
    case TAbDfTreeKind::Distance:
      return 8;
  }
  return 8;
}

constexpr uint32_t kNoCode =
    TAbDfDecodeHuffmanTree::kSpecial | (TAbDfDecodeHuffmanTree::kInvalid << 16);

uint32_t MakeEntry(uint32_t value, uint32_t flags, int length, int extra) {
  return (value << 16) | flags | (static_cast<uint32_t>(length) << 8) |
         static_cast<uint32_t>(length + extra);
}

constexpr std::array<uint8_t, 256> kReversedByte = [] {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit) reversed |= ((i >> bit) & 1) << (7 - bit);
    table[static_cast<size_t>(i)] = static_cast<uint8_t>(reversed);
  }
  return table;
}();

// The low length bits of code in reverse order (codes are sent from their
// most significant bit, the bit reader delivers the least significant first).
uint32_t ReverseBits(uint32_t code, int length) {
  const uint32_t reversed16 =
      (uint32_t{kReversedByte[code & 0xFF]} << 8) | kReversedByte[(code >> 8) & 0xFF];
  return reversed16 >> (16 - length);
}

}  // namespace

TAbDfDecodeHuffmanTree::TAbDfDecodeHuffmanTree(int symbolCount, TAbDfTreeKind kind, bool deflate64)
    : symbolCount_(symbolCount), kind_(kind), deflate64_(deflate64) {
  rtl::Assert(symbolCount >= 2,
              "TAbDfDecodeHuffmanTree.Create: a huffman tree must be for at least two symbols");
  table_ = std::make_unique_for_overwrite<uint32_t[]>(Capacity());
}

size_t TAbDfDecodeHuffmanTree::Capacity() const {
  // The first level, plus for every symbol whose code could be longer than
  // it the widest subtable such a code could need.
  const int tableBits = TableBitsFor(kind_);
  return (size_t{1} << tableBits) +
         static_cast<size_t>(symbolCount_) * (size_t{1} << (kMaxCodeLength - tableBits));
}

uint32_t TAbDfDecodeHuffmanTree::EntryFor(int symbol, int length) const {
  switch (kind_) {
    case TAbDfTreeKind::CodeLengths:
      return MakeEntry(static_cast<uint32_t>(symbol), 0, length, 0);
    case TAbDfTreeKind::LitLen:
      if (symbol < 256) return MakeEntry(static_cast<uint32_t>(symbol), kLiteral, length, 0);
      if (symbol == 256) return MakeEntry(kEndOfBlock, kSpecial, length, 0);
      if (symbol == 285 && deflate64_) return MakeEntry(3, 0, length, 16);
      if (symbol <= 285)
        return MakeEntry(kLengthBase[symbol - 257], 0, length, kLengthExtra[symbol - 257]);
      return MakeEntry(kInvalid, kSpecial, length, 0);
    case TAbDfTreeKind::Distance:
      if (symbol < 30 || (symbol < 32 && deflate64_))
        return MakeEntry(kDistanceBase[symbol], 0, length, kDistanceExtra[symbol]);
      return MakeEntry(kInvalid, kSpecial, length, 0);
  }
  return kNoCode;
}

void TAbDfDecodeHuffmanTree::Build(const uint8_t* lengths, int count) {
  rtl::Assert(count >= 0 && count <= symbolCount_,
              "TAbDfDecodeHuffmanTree.Build: more code lengths than symbols");
  std::array<int, kMaxCodeLength + 1> lengthCount{};
  for (int i = 0; i < count; ++i) {
    if (lengths[i] > kMaxCodeLength)
      throw rtl::EAssertionFailed(rtl::Format(
          "TAbDfDecodeHuffmanTree.Build: a code length is greater than %d", {kMaxCodeLength}));
    ++lengthCount[lengths[i]];
  }
  lengthCount[0] = 0;

  // Kraft: the codes may not claim more than the whole code space, and must
  // claim all of it unless there is no code or a lone one-bit code, which a
  // compressor writes for a block with a single distance or none.
  int32_t left = 1;
  int codeCount = 0;
  lookupBitLength_ = 0;
  for (int length = 1; length <= kMaxCodeLength; ++length) {
    left = (left << 1) - lengthCount[length];
    if (left < 0)
      throw EAbInternalInflateError(
          "code lengths over-subscribe the code space [TAbDfDecodeHuffmanTree.Build]");
    codeCount += lengthCount[length];
    if (lengthCount[length] > 0) lookupBitLength_ = length;
  }
  if (left > 0) {
    const bool allowed = kind_ != TAbDfTreeKind::CodeLengths &&
                         (codeCount == 0 || (codeCount == 1 && lengthCount[1] == 1));
    if (!allowed)
      throw EAbInternalInflateError(
          "code lengths leave part of the code space unused [TAbDfDecodeHuffmanTree.Build]");
  }

  mainBits_ = std::min(TableBitsFor(kind_), std::max(lookupBitLength_, 1));
  mainMask_ = (1u << mainBits_) - 1;
  uint32_t* const table = table_.get();

  // Symbols in canonical order: by code length, then by symbol.
  std::array<int, kMaxCodeLength + 2> offset{};
  for (int length = 1; length <= kMaxCodeLength; ++length)
    offset[length + 1] = offset[length] + lengthCount[length];
  std::array<uint16_t, 320> sorted{};
  for (int i = 0; i < count; ++i)
    if (lengths[i] != 0)
      sorted[static_cast<size_t>(offset[lengths[i]]++)] = static_cast<uint16_t>(i);

  // The first level grows with the code length: the part for codes of up
  // to l bits is doubled for l + 1, which repeats every shorter code in the
  // entries whose low bits are its own, and the (l + 1)-bit codes then take
  // their places. Only an incomplete code leaves entries without a code.
  table[0] = table[1] = kNoCode;
  uint32_t code = 0;
  int n = 0;
  for (int length = 1; length <= mainBits_; ++length) {
    if (length > 1)
      std::memcpy(table + (1u << (length - 1)), table, sizeof(uint32_t) << (length - 1));
    for (int k = 0; k < lengthCount[static_cast<size_t>(length)]; ++k, ++n, ++code) {
      const int symbol = sorted[static_cast<size_t>(n)];
      table[ReverseBits(code, length)] = EntryFor(symbol, length);
    }
    code <<= 1;
  }
  size_ = size_t{1} << mainBits_;

  // Longer codes go to subtables, one per first-level prefix, each as wide
  // as the codes that share the prefix need.
  std::array<int, kMaxCodeLength + 1> remaining = lengthCount;
  uint32_t subPrefix = ~0u;
  size_t subOffset = 0;
  uint32_t subBits = 0;
  int codeLength = mainBits_;
  for (; n < codeCount; ++n) {
    const int symbol = sorted[static_cast<size_t>(n)];
    const int length = lengths[symbol];
    code <<= (length - codeLength) - (codeLength == mainBits_ ? 1 : 0);
    codeLength = length;
    const uint32_t reversed = ReverseBits(code, length);
    const uint32_t prefix = reversed & mainMask_;
    if (prefix != subPrefix) {
      int bits = length - mainBits_;
      int32_t space = 1 << bits;
      while (mainBits_ + bits < lookupBitLength_) {
        space -= remaining[static_cast<size_t>(mainBits_ + bits)];
        if (space <= 0) break;
        ++bits;
        space <<= 1;
      }
      subBits = static_cast<uint32_t>(bits);
      subPrefix = prefix;
      subOffset = size_;
      size_ += size_t{1} << subBits;
      table[prefix] = kSubtable | (static_cast<uint32_t>(subOffset) << 16) | (subBits << 8);
    }
    const uint32_t entry = EntryFor(symbol, length);
    for (uint32_t i = reversed >> mainBits_; i < (1u << subBits); i += 1u << (length - mainBits_))
      table[subOffset + i] = entry;
    --remaining[static_cast<size_t>(length)];
    ++code;
  }
}

const TAbDfDecodeHuffmanTree& FixedLitLenTree(bool deflate64) {
  static const auto build = [](bool d64) {
    std::array<uint8_t, 288> lengths{};
    for (int i = 0; i < 288; ++i)
      lengths[static_cast<size_t>(i)] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    TAbDfDecodeHuffmanTree tree(288, TAbDfTreeKind::LitLen, d64);
    tree.Build(lengths.data(), 288);
    return tree;
  };
  static const TAbDfDecodeHuffmanTree plain = build(false);
  static const TAbDfDecodeHuffmanTree wide = build(true);
  return deflate64 ? wide : plain;
}

const TAbDfDecodeHuffmanTree& FixedDistanceTree(bool deflate64) {
  static const auto build = [](bool d64) {
    std::array<uint8_t, 32> lengths{};
    lengths.fill(5);
    TAbDfDecodeHuffmanTree tree(32, TAbDfTreeKind::Distance, d64);
    tree.Build(lengths.data(), 32);
    return tree;
  };
  static const TAbDfDecodeHuffmanTree plain = build(false);
  static const TAbDfDecodeHuffmanTree wide = build(true);
  return deflate64 ? wide : plain;
}

}  // namespace ab
