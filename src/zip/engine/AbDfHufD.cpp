// Builds the two-level decoding tables of canonical Huffman codes into the
// trees' fixed arrays, and the shared fixed trees.
#include "zip/engine/AbDfHufD.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>

#include "rtl/Format.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbUtils.h"

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

using Tree = TAbDfDecodeHuffmanTree;

int MainBitsFor(TAbDfTreeKind kind) {
  switch (kind) {
    case TAbDfTreeKind::CodeLengths:
      return Tree::kCodeLengthMainBits;
    case TAbDfTreeKind::LitLen:
      return Tree::kLitLenMainBits;
    case TAbDfTreeKind::Distance:
      return Tree::kDistanceMainBits;
  }
  return Tree::kDistanceMainBits;
}

constexpr uint32_t kNoCode = Tree::kSpecial | (Tree::kInvalid << 16);

uint32_t MakeEntry(uint32_t value, uint32_t flags, int length, int extra) {
  return (value << 16) | flags | (static_cast<uint32_t>(length) << 8) |
         static_cast<uint32_t>(length + extra);
}

}  // namespace

TAbDfDecodeHuffmanTree::TAbDfDecodeHuffmanTree(TAbDfTreeKind kind, uint32_t* table, size_t capacity)
    : kind_(kind), table_(table), capacity_(capacity) {}

int TAbDfDecodeHuffmanTree::SymbolLimit() const {
  switch (kind_) {
    case TAbDfTreeKind::CodeLengths:
      return 19;
    case TAbDfTreeKind::LitLen:
      return 288;
    case TAbDfTreeKind::Distance:
      return 32;
  }
  return 0;
}

namespace {

// What a symbol's entry holds apart from its code length: the value, the
// flags and the extra bits in the total. Made once for every symbol, so that
// an entry costs one addition while a table is filled.
struct TEntryTemplates {
  std::array<uint32_t, 288> litLen[2];
  std::array<uint32_t, 32> distance[2];
  std::array<uint32_t, 19> codeLengths;
};

uint32_t LitLenTemplate(int symbol, bool deflate64) {
  if (symbol < 256) return MakeEntry(static_cast<uint32_t>(symbol), Tree::kLiteral, 0, 0);
  if (symbol == 256) return MakeEntry(Tree::kEndOfBlock, Tree::kSpecial, 0, 0);
  if (symbol == 285 && deflate64) return MakeEntry(3, Tree::kLongMatch, 0, 16);
  if (symbol <= 285) return MakeEntry(kLengthBase[symbol - 257], 0, 0, kLengthExtra[symbol - 257]);
  return MakeEntry(Tree::kInvalid, Tree::kSpecial, 0, 0);
}

uint32_t DistanceTemplate(int symbol, bool deflate64) {
  if (symbol < 30 || (symbol < 32 && deflate64))
    return MakeEntry(kDistanceBase[symbol], 0, 0, kDistanceExtra[symbol]);
  return MakeEntry(Tree::kInvalid, Tree::kSpecial, 0, 0);
}

const TEntryTemplates& Templates() {
  static const TEntryTemplates templates = [] {
    TEntryTemplates made{};
    for (int mode = 0; mode < 2; ++mode) {
      for (int i = 0; i < 288; ++i)
        made.litLen[mode][static_cast<size_t>(i)] = LitLenTemplate(i, mode == 1);
      for (int i = 0; i < 32; ++i)
        made.distance[mode][static_cast<size_t>(i)] = DistanceTemplate(i, mode == 1);
    }
    for (int i = 0; i < 19; ++i)
      made.codeLengths[static_cast<size_t>(i)] = MakeEntry(static_cast<uint32_t>(i), 0, 0, 0);
    return made;
  }();
  return templates;
}

const uint32_t* TemplatesFor(TAbDfTreeKind kind, bool deflate64) {
  const TEntryTemplates& templates = Templates();
  switch (kind) {
    case TAbDfTreeKind::LitLen:
      return templates.litLen[deflate64 ? 1 : 0].data();
    case TAbDfTreeKind::Distance:
      return templates.distance[deflate64 ? 1 : 0].data();
    case TAbDfTreeKind::CodeLengths:
      break;
  }
  return templates.codeLengths.data();
}

// Build's passes over the code lengths: kLanes runs of width symbols each,
// the last one taking the few left over.
constexpr int kLanes = 4;
using TLaneCounts = std::array<std::array<int, TAbDfDecodeHuffmanTree::kMaxCodeLength + 1>, kLanes>;
struct TLanes {
  explicit TLanes(int count) : width(count / kLanes) {}
  int First(int lane) const { return lane * width; }
  int width;
};

// The entry of a symbol whose code has length bits.
inline uint32_t EntryFrom(const uint32_t* templates, int symbol, int length) {
  return templates[symbol] + (static_cast<uint32_t>(length) << 8) + static_cast<uint32_t>(length);
}

}  // namespace

void TAbDfDecodeHuffmanTree::Build(const uint8_t* lengths, int count, bool deflate64) {
  rtl::Assert(count >= 0 && count <= SymbolLimit(),
              "TAbDfDecodeHuffmanTree.Build: more code lengths than symbols");
  const int lengthLimit =
      kind_ == TAbDfTreeKind::CodeLengths ? kMaxCodeLengthCodeLength : kMaxCodeLength;
  // The symbols are counted, and later sorted, in kLanes runs of the
  // alphabet side by side: a count or an offset in memory is updated with
  // one store's latency, and a code has long runs of equal lengths, so one
  // run at a time would wait on that latency for every symbol.
  const TLanes lanes(count);
  uint8_t longest = 0;
  TLaneCounts laneCount{};
  for (int i = 0; i < lanes.width; ++i) {
    for (int lane = 0; lane < kLanes; ++lane) {
      const uint8_t length = lengths[lanes.First(lane) + i];
      longest = std::max(longest, length);
      ++laneCount[lane][length & kMaxCodeLength];
    }
  }
  for (int i = lanes.First(kLanes); i < count; ++i) {
    longest = std::max(longest, lengths[i]);
    ++laneCount[kLanes - 1][lengths[i] & kMaxCodeLength];
  }
  // (A length out of range was counted as another: it is refused here,
  // before the counts are used.)
  if (longest > lengthLimit)
    throw rtl::EAssertionFailed(rtl::Format(
        "TAbDfDecodeHuffmanTree.Build: a code length is greater than %d", {lengthLimit}));
  std::array<int, kMaxCodeLength + 1> lengthCount{};
  for (int length = 1; length <= kMaxCodeLength; ++length)
    for (int lane = 0; lane < kLanes; ++lane) lengthCount[length] += laneCount[lane][length];

  // Kraft: the codes may not claim more than the whole code space.
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
  const bool incomplete = left > 0;
  if (incomplete && !deflate64) {
    const bool allowed = kind_ != TAbDfTreeKind::CodeLengths &&
                         (codeCount == 0 || (codeCount == 1 && lengthCount[1] == 1));
    if (!allowed)
      throw EAbInternalInflateError(
          "code lengths leave part of the code space unused [TAbDfDecodeHuffmanTree.Build]");
  }

  // The first level always has its full width, short codes repeated across
  // it, so that the decoder's masks and shifts are constants.
  mainBits_ = MainBitsFor(kind_);
  mainMask_ = (1u << mainBits_) - 1;
  uint32_t* const table = table_;
  const uint32_t* const templates = TemplatesFor(kind_, deflate64);

  // Symbols in canonical order: by code length, then by symbol, after the
  // symbols without a code. Each lane starts where the lanes before it leave
  // off for every length.
  TLaneCounts offset;
  int next = 0;
  for (int length = 0; length <= kMaxCodeLength; ++length) {
    for (int lane = 0; lane < kLanes; ++lane) {
      offset[lane][length] = next;
      next += laneCount[lane][length];
    }
  }
  std::array<uint16_t, 288> sorted;
  for (int i = 0; i < lanes.width; ++i) {
    for (int lane = 0; lane < kLanes; ++lane) {
      const int symbol = lanes.First(lane) + i;
      sorted[static_cast<size_t>(offset[lane][lengths[symbol]]++)] = static_cast<uint16_t>(symbol);
    }
  }
  for (int i = lanes.First(kLanes); i < count; ++i)
    sorted[static_cast<size_t>(offset[kLanes - 1][lengths[i]]++)] = static_cast<uint16_t>(i);
  const uint16_t* const coded = sorted.data() + offset[kLanes - 1][0];

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
      const int symbol = coded[n];
      table[ReverseBits(code, length)] = EntryFrom(templates, symbol, length);
    }
    code <<= 1;
  }
  size_ = size_t{1} << mainBits_;

  // Longer codes go to subtables, one per first-level prefix, each as wide
  // as the codes that share the prefix need: until they fill it, or, for
  // the last prefix of an incomplete code, as wide as the longest code.
  std::array<int, kMaxCodeLength + 1> remaining = lengthCount;
  uint32_t subPrefix = ~0u;
  size_t subOffset = 0;
  uint32_t subBits = 0;
  int codeLength = mainBits_;
  for (; n < codeCount; ++n) {
    const int symbol = coded[n];
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
      // Never taken: the capacities are the proven maxima.
      rtl::Assert(size_ <= capacity_, "TAbDfDecodeHuffmanTree.Build: table larger than proven");
      if (incomplete) std::fill_n(table + subOffset, size_t{1} << subBits, kNoCode);
      table[prefix] = kSubtable | (static_cast<uint32_t>(subOffset) << 16) | (subBits << 8);
    }
    const uint32_t entry = EntryFrom(templates, symbol, length);
    for (uint32_t i = reversed >> mainBits_; i < (1u << subBits); i += 1u << (length - mainBits_))
      table[subOffset + i] = entry;
    --remaining[static_cast<size_t>(length)];
    ++code;
  }
}

namespace {

template <typename TTree>
void BuildFixed(TTree& tree, int count, uint8_t (*lengthOf)(int), bool deflate64) {
  std::array<uint8_t, 288> lengths{};
  for (int i = 0; i < count; ++i) lengths[static_cast<size_t>(i)] = lengthOf(i);
  tree.Build(lengths.data(), count, deflate64);
}

uint8_t FixedLitLenLength(int symbol) {
  return symbol < 144 ? 8 : symbol < 256 ? 9 : symbol < 280 ? 7 : 8;
}
uint8_t FixedDistanceLength(int) {
  return 5;
}

}  // namespace

const TAbDfDecodeHuffmanTree& FixedLitLenTree(bool deflate64) {
  static const auto trees = [] {
    auto built = std::make_unique<std::array<TAbDfLitLenTree, 2>>();
    BuildFixed((*built)[0], 288, FixedLitLenLength, false);
    BuildFixed((*built)[1], 288, FixedLitLenLength, true);
    return built;
  }();
  return (*trees)[deflate64 ? 1 : 0];
}

const TAbDfDecodeHuffmanTree& FixedDistanceTree(bool deflate64) {
  static const auto trees = [] {
    auto built = std::make_unique<std::array<TAbDfDistanceTree, 2>>();
    BuildFixed((*built)[0], 32, FixedDistanceLength, false);
    BuildFixed((*built)[1], 32, FixedDistanceLength, true);
    return built;
  }();
  return (*trees)[deflate64 ? 1 : 0];
}

}  // namespace ab
