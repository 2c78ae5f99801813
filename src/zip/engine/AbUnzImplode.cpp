// Implode (method 6): literals, match lengths and distances coded with
// Shannon-Fano trees over a 4 KB or 8 KB dictionary.
//
// A tree is kept as its entries sorted by bit length, then value, each code
// bit-reversed so that it compares with bits read low bit first. Decoding
// reads one bit at a time and, at each length b, answers the first entry of
// length b whose code equals the bits so far; when no entry of any length
// matches, the answer is 0 after as many bits as the longest code. The same
// answer comes from a table indexed by the next few bits, filled from the
// last entry to the first so that shorter and earlier entries win; it is used
// whenever that many bits are at hand, the bit-by-bit walk otherwise and for
// codes longer than the table.
#include <algorithm>

#include "zip/engine/AbUnzPrc.h"
#include "zip/engine/AbUtils.h"

namespace ab {

namespace {

constexpr int kMaxCodeBits = 16;
constexpr int kTableBits = 12;
constexpr uint16_t kWalk = 0xFFFF;  // no slot of a real code reaches it

}  // namespace

void TAbUnzipHelper::LoadShannonFanoTree(TShannonFanoTree& tree, int16_t count) {
  tree.count = count;
  tree.lookup.clear();
  tree.maxBits = 0;
  std::array<uint8_t, 257> lengths{};
  const uint32_t descriptionBytes = TakeBits(8) + 1;
  int defined = 0;
  for (uint32_t d = 0; d < descriptionBytes; ++d) {
    const uint32_t byte = TakeBits(8);
    const int bitLength = static_cast<int>(byte & 0x0F) + 1;
    const int run = static_cast<int>(byte >> 4) + 1;
    if (defined + run > count) {
      if (endOfInput_) return;  // made of missing bits; the decode stops anyway
      throw EAbZipCorruptData("Implode tree defines more entries than it holds");
    }
    std::fill_n(lengths.begin() + defined, run, static_cast<uint8_t>(bitLength));
    defined += run;
  }

  // Sorted by bit length, then value: values are already in ascending order,
  // so a pass per length keeps them so.
  int k = 0;
  for (int bits = 0; bits <= kMaxCodeBits; ++bits) {
    for (int value = 0; value < count; ++value) {
      if (lengths[value] != bits) continue;
      tree.entries[k].value = static_cast<uint8_t>(value);
      tree.entries[k].bitLength = static_cast<uint8_t>(bits);
      ++k;
    }
  }

  // Codes from the last entry back, in 16-bit arithmetic.
  uint16_t code = 0;
  uint16_t increment = 0;
  int lastLength = 0;
  for (int i = count - 1; i >= 0; --i) {
    auto& entry = tree.entries[i];
    code = static_cast<uint16_t>(code + increment);
    if (entry.bitLength != lastLength) {
      lastLength = entry.bitLength;
      increment = static_cast<uint16_t>(1u << (kMaxCodeBits - lastLength));
    }
    entry.code = static_cast<uint16_t>(ReverseBits(code, kMaxCodeBits));
  }

  // The direct table, when the code is regular enough for its cost to be
  // bounded by the table's size (every tree a real encoder writes). It holds
  // at most 12 bits; the rare longer codes are walked bit by bit.
  int maxBits = 0;
  for (int i = 0; i < count; ++i) maxBits = std::max<int>(maxBits, tree.entries[i].bitLength);
  const int tableBits = std::min(maxBits, kTableBits);
  tree.maxBits = static_cast<uint8_t>(tableBits);
  if (tableBits == 0) return;
  const uint32_t size = 1u << tableBits;
  const auto fits = [&](const TShannonFanoTree::TEntry& e) {
    return e.bitLength != 0 && e.bitLength <= tableBits && (e.code >> e.bitLength) == 0;
  };
  uint64_t cost = 0;
  for (int i = 0; i < count; ++i)
    if (fits(tree.entries[i])) cost += size >> tree.entries[i].bitLength;
  if (cost > 2ull * size) return;
  // A slot no code of up to tableBits matches answers 0 when there are no
  // longer codes, else needs the walk.
  tree.lookup.assign(size, maxBits <= kTableBits ? static_cast<uint16_t>(maxBits << 8) : kWalk);
  for (int i = count - 1; i >= 0; --i) {
    const auto& entry = tree.entries[i];
    if (!fits(entry)) continue;
    const auto slot = static_cast<uint16_t>(entry.value | (entry.bitLength << 8));
    for (uint32_t at = entry.code; at < size; at += 1u << entry.bitLength) tree.lookup[at] = slot;
  }
}

uint8_t TAbUnzipHelper::DecodeTreeSymbol(const TShannonFanoTree& tree) {
  if (!tree.lookup.empty() && !tail_) {
    if (bitCount_ < tree.maxBits) TopUp();
    if (bitCount_ >= tree.maxBits) {
      const uint16_t slot = tree.lookup[bitBuffer_ & (tree.lookup.size() - 1)];
      if (slot == kWalk) return DecodeTreeSymbolSlow(tree);
      const int used = slot >> 8;
      bitBuffer_ >>= used;
      bitCount_ -= used;
      return static_cast<uint8_t>(slot);
    }
  }
  return DecodeTreeSymbolSlow(tree);
}

uint8_t TAbUnzipHelper::DecodeTreeSymbolSlow(const TShannonFanoTree& tree) {
  uint32_t v = 0;
  int b = 0;
  int cursor = 0;
  const int count = tree.count;
  for (;;) {
    v |= TakeBits(1) << b;
    ++b;
    while (cursor < count && tree.entries[cursor].bitLength < b) ++cursor;
    if (cursor >= count) return 0;
    while (tree.entries[cursor].bitLength == b) {
      if (tree.entries[cursor].code == v) return tree.entries[cursor].value;
      if (++cursor >= count) return 0;
    }
  }
}

void TAbUnzipHelper::DecodeImploded() {
  const int dictionaryBits = dictionarySize_ == 2 ? 7 : 6;
  const int minimumMatch = shannonFanoTreeCount_;
  const bool literalTree = shannonFanoTreeCount_ == 3;
  auto literals = std::make_unique<TShannonFanoTree>();
  auto lengths = std::make_unique<TShannonFanoTree>();
  auto distances = std::make_unique<TShannonFanoTree>();
  if (literalTree) LoadShannonFanoTree(*literals, 256);
  LoadShannonFanoTree(*lengths, 64);
  LoadShannonFanoTree(*distances, 64);

  // Whole literals and matches on the fast loop's bits: a match takes at
  // most 1 + 7 + 16 + 16 + 8 bits, within one refill. A code the tree's
  // table cannot answer is walked by the member form, on the same bits.
  static_assert(1 + 7 + 16 + 16 + 8 <= TQuick::kQuickBits);
  const auto symbol = [&](TQuick& q, const TShannonFanoTree& tree) -> uint8_t {
    if (!tree.lookup.empty()) {
      const uint16_t slot = tree.lookup[q.bits & (tree.lookup.size() - 1)];
      if (slot != kWalk) {
        q.Take(slot >> 8);
        return static_cast<uint8_t>(slot);
      }
    }
    Leave(q);
    const uint8_t value = DecodeTreeSymbolSlow(tree);
    q = Enter();
    return value;
  };
  // A match reads its bytes back one at a time with a flush before each,
  // which is when progress is reported: a match that would pass the next
  // report goes through CopyBack.
  const bool reportsEachByte = static_cast<bool>(OnProgress);
  const auto quick = [&] {
    TQuick q = Enter();
    const int64_t progressAt = reportsEachByte ? nextProgressAt_ : q.putEnd;
    while (q.InputReady() && q.total < q.putEnd) {
      q.Refill();
      if (q.Take(1) == 1) {
        q.Put(literalTree ? symbol(q, *literals) : static_cast<uint8_t>(q.Take(8)));
        continue;
      }
      uint32_t distance = q.Take(dictionaryBits);
      distance |= static_cast<uint32_t>(symbol(q, *distances)) << dictionaryBits;
      int32_t length = symbol(q, *lengths);
      if (length == 63) length += static_cast<int32_t>(q.Take(8));
      length += minimumMatch;
      const int64_t end = q.total + length;
      if (end > q.putEnd || end > progressAt) {
        Leave(q);
        CopyBack(static_cast<int64_t>(distance) + 1, length, true);
        return;
      }
      const int64_t lastFrom = end - 1 - (static_cast<int64_t>(distance) + 1);
      q.Copy(static_cast<int64_t>(distance) + 1, length);
      // The flush before the last byte read back; bytes from before the start
      // of the output are not read back and flush nothing.
      if (reportsEachByte && lastFrom >= 0) flushMark_ = end - 1;
    }
    Leave(q);
  };

  while (!endOfInput_ && total_ < uncompressedSize_) {
    quick();
    if (endOfInput_ || total_ >= uncompressedSize_) break;
    if (TakeBits(1) == 1) {
      PutByte(literalTree ? DecodeTreeSymbol(*literals) : static_cast<uint8_t>(TakeBits(8)));
      continue;
    }
    uint32_t distance = TakeBits(dictionaryBits);
    distance |= static_cast<uint32_t>(DecodeTreeSymbol(*distances)) << dictionaryBits;
    int32_t length = DecodeTreeSymbol(*lengths);
    if (length == 63) length += static_cast<int32_t>(TakeBits(8));
    length += minimumMatch;
    CopyBack(static_cast<int64_t>(distance) + 1, length, true);
  }
}

}  // namespace ab
