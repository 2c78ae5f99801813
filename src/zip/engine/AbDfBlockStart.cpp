// The block-start search of the parallel Inflate. Most bit positions fail the
// first test (a non-final dynamic block reads 0, then 2 in two bits: one
// position in eight passes), then the counts, then the code-length code,
// which must fill its code space exactly (a few in a hundred random ones do).
// What passes has its literal/length and distance code lengths read with it
// and must leave both codes complete, with a code for the end of the block:
// random bits almost never do, so the caller's decode ahead, which is the
// final test, rarely starts in vain.
#include "zip/engine/AbDfBlockStart.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "zip/engine/AbDfCodeLengths.h"

namespace ab {

namespace {

constexpr auto kReversed7 = [] {
  std::array<uint8_t, 128> reversed{};
  for (uint32_t v = 0; v < 128; ++v)
    for (uint32_t b = 0; b < 7; ++b) reversed[v] |= static_cast<uint8_t>(((v >> b) & 1) << (6 - b));
  return reversed;
}();

// The code space four 3-bit code-length code lengths take, of 128.
constexpr auto kSpaceOf4 = [] {
  constexpr uint16_t kSpaceOf[8] = {0, 64, 32, 16, 8, 4, 2, 1};
  std::array<uint16_t, 4096> space{};
  for (uint32_t v = 0; v < 4096; ++v)
    for (uint32_t k = 0; k < 4; ++k) space[v] = static_cast<uint16_t>(space[v] + kSpaceOf[(v >> (3 * k)) & 7]);
  return space;
}();

// 57 bits from bit on; bits past the end read as zero.
inline uint64_t Peek(const uint8_t* data, size_t size, uint64_t bit) {
  const uint64_t byte = bit / 8;
  uint64_t word = 0;
  if (byte + 8 <= size) {
    std::memcpy(&word, data + byte, 8);
  } else if (byte < size) {
    uint8_t last[8] = {};
    std::memcpy(last, data + byte, static_cast<size_t>(size - byte));
    std::memcpy(&word, last, 8);
  }
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  word = __builtin_bswap64(word);
#endif
  return (word >> (bit % 8)) & ((uint64_t{1} << 57) - 1);
}

// Whether lengths (count of them, each at most 15) fill the code space
// exactly; single reports a code of one symbol.
bool Complete(const uint8_t* lengths, int count, bool allowSingle) {
  uint32_t space = 0;
  int codes = 0;
  for (int i = 0; i < count; ++i) {
    if (lengths[i] == 0) continue;
    space += 1u << (15 - lengths[i]);
    ++codes;
  }
  return space == (1u << 15) || (allowSingle && codes <= 1 && (codes == 0 || space == 1u << 14));
}

// The rest of a dynamic header at bit: its code-length code read as a table
// and used to read the code lengths, which must give complete codes.
bool DynamicHeaderHolds(const uint8_t* data, size_t size, uint64_t bit, bool deflate64) {
  const uint64_t head = Peek(data, size, bit);
  if ((head & 7) != 4) return false;  // BFINAL 0, BTYPE 2
  const int litCount = static_cast<int>((head >> 3) & 31) + 257;
  const int distCount = static_cast<int>((head >> 8) & 31) + 1;
  if (litCount > 286 || (!deflate64 && distCount > 30)) return false;
  const int codeLengthCount = static_cast<int>((head >> 13) & 15) + 4;
  const uint64_t packed = Peek(data, size, bit + 17);
  // Four lengths a lookup and no branch: one position in nine gets here,
  // and most end here, so that a loop over the lengths, whose count is a
  // branch it cannot foresee, cost more than the rest of the search.
  const uint64_t used = packed & ((uint64_t{1} << (3 * codeLengthCount)) - 1);
  const uint32_t space = kSpaceOf4[used & 4095] + kSpaceOf4[(used >> 12) & 4095] +
                         kSpaceOf4[(used >> 24) & 4095] + kSpaceOf4[(used >> 36) & 4095] +
                         kSpaceOf4[(used >> 48) & 4095];
  if (space != 128) return false;
  uint8_t codeLengths[19] = {};
  for (int i = 0; i < codeLengthCount; ++i)
    codeLengths[kDfCodeLengthOrder[i]] = static_cast<uint8_t>((packed >> (3 * i)) & 7);

  // The code-length code as a 7-bit table of symbol and length.
  uint8_t symbolOf[128];
  uint8_t lengthOf[128];
  uint32_t code = 0;
  for (uint32_t length = 1; length <= 7; ++length) {
    for (int symbol = 0; symbol < 19; ++symbol) {
      if (codeLengths[symbol] != length) continue;
      const uint32_t reversed = kReversed7[code] >> (7 - length);
      for (uint32_t fill = reversed; fill < 128; fill += 1u << length) {
        symbolOf[fill] = static_cast<uint8_t>(symbol);
        lengthOf[fill] = static_cast<uint8_t>(length);
      }
      ++code;
    }
    code <<= 1;
  }

  // The lengths, given up as soon as the literal/length code is
  // over-subscribed: random bits mostly are within a few symbols.
  uint8_t lengths[286 + 32] = {};
  const int count = litCount + distCount;
  uint64_t at = bit + 17 + 3 * static_cast<uint64_t>(codeLengthCount);
  uint32_t litSpace = 0;
  int i = 0;
  while (i < count) {
    if (at >= static_cast<uint64_t>(size) * 8) return false;
    const uint64_t bits = Peek(data, size, at);
    const uint32_t index = static_cast<uint32_t>(bits) & 127;
    const int symbol = symbolOf[index];
    at += lengthOf[index];
    const uint64_t extra = bits >> lengthOf[index];
    int repeat = 1;
    uint8_t repeated = static_cast<uint8_t>(symbol);
    if (symbol == 16) {
      if (i == 0) return false;
      repeated = lengths[i - 1];
      repeat = 3 + static_cast<int>(extra & 3);
      at += 2;
    } else if (symbol == 17) {
      repeated = 0;
      repeat = 3 + static_cast<int>(extra & 7);
      at += 3;
    } else if (symbol == 18) {
      repeated = 0;
      repeat = 11 + static_cast<int>(extra & 127);
      at += 7;
    }
    if (repeat > count - i) return false;
    for (int k = 0; k < repeat; ++k, ++i) {
      lengths[i] = repeated;
      if (i < litCount && repeated != 0) litSpace += 1u << (15 - repeated);
    }
    if (litSpace > (1u << 15)) return false;
  }
  return lengths[256] != 0 && Complete(lengths, litCount, false) &&
         Complete(lengths + litCount, distCount, true);
}

bool StoredHeaderHolds(const uint8_t* data, size_t size, uint64_t lengthByte) {
  if (lengthByte + 4 > size) return false;
  const uint8_t* p = data + lengthByte;
  const uint32_t length = p[0] | (uint32_t{p[1]} << 8);
  const uint32_t notLength = p[2] | (uint32_t{p[3]} << 8);
  // The three header bits just before the length field read 000, and the
  // block's bytes lie inside the input.
  return (length ^ 0xFFFF) == notLength && (p[-1] & 0xE0) == 0 && lengthByte + 4 + length <= size;
}

}  // namespace

// The search takes kSpan positions at a time from one load: the first 13
// bits of a dynamic header (BFINAL 0, BTYPE 2, counts of literal/length and
// distance codes in range) are tested for all of them at once with shifts
// and masks, and only the few positions that pass (about one in nine) and
// those where a stored header's length field could start are looked at one
// by one, in order.
constexpr uint64_t kSpan = 44;  // 44 + 13 bits fit in the 57 of a load

std::optional<uint64_t> FindBlockStart(const uint8_t* data, size_t size, uint64_t fromBit,
                                       uint64_t toBit, bool deflate64) {
  const uint64_t end = std::min<uint64_t>(toBit, static_cast<uint64_t>(size) * 8);
  // The first position at which a stored header's length field may lie
  // (it may start up to ten bits before the field), as the search from
  // fromBit meets it.
  const uint64_t firstStored = fromBit + 7;
  for (uint64_t bit = fromBit; bit < end; bit += kSpan) {
    const uint64_t w = Peek(data, size, bit);
    // Bit r: the header bits at bit + r read 0, 0, 1, and neither count is
    // 30 or 31 (its four high bits all set).
    uint64_t dynamic = ~w & ~(w >> 1) & (w >> 2) & ~((w >> 4) & (w >> 5) & (w >> 6) & (w >> 7));
    if (!deflate64) dynamic &= ~((w >> 9) & (w >> 10) & (w >> 11) & (w >> 12));
    // Bit r: bit + r is 5 past a byte boundary.
    uint64_t stored = uint64_t{0x0101010101010101} << ((13 - bit % 8) % 8);
    if (bit < firstStored) stored &= ~((uint64_t{1} << (firstStored - bit)) - 1);
    const uint64_t span = std::min(kSpan, end - bit);
    uint64_t candidates = (dynamic | stored) & ((uint64_t{1} << span) - 1);
    while (candidates != 0) {
      const auto r = static_cast<uint32_t>(std::countr_zero(candidates));
      candidates &= candidates - 1;
      const uint64_t at = bit + r;
      if (((stored >> r) & 1) != 0 && StoredHeaderHolds(data, size, (at + 3) / 8)) return at;
      if (((dynamic >> r) & 1) != 0 && DynamicHeaderHolds(data, size, at, deflate64)) return at;
    }
  }
  return std::nullopt;
}

uint64_t CanonicalBlockStart(const uint8_t* data, size_t size, uint64_t bit) {
  if ((Peek(data, size, bit) & 7) != 0) return bit;  // not a non-final stored block
  return (bit + 3 + 7) / 8 * 8 - 3;
}

}  // namespace ab
