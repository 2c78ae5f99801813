// Reduce (methods 2 to 5, factors 1 to 4): each byte is coded against the
// follower set of the byte before it; the escape byte 144 introduces a
// back-reference whose length and distance split by the factor.
#include <array>

#include "zip/engine/AbUnzPrc.h"

namespace ab {

namespace {

constexpr int kMaxFollowers = 32;
constexpr uint8_t kEscape = 144;

struct TFollowerSet {
  uint8_t size = 0;
  uint8_t indexBits = 0;  // bits needed to write size - 1, at least 1
  std::array<uint8_t, kMaxFollowers> followers{};
};

uint8_t IndexBits(int size) {
  uint8_t bits = 1;
  while ((1 << bits) < size) ++bits;
  return bits;
}

}  // namespace

void TAbUnzipHelper::DecodeReduced() {
  const int factor = compressionMethod_ - 1;
  if (factor < 1 || factor > 4) throw EAbZipInvalidFactor();
  const uint32_t lengthMask = 0xFFu >> factor;

  std::array<TFollowerSet, 256> sets{};
  for (int value = 255; value >= 0; --value) {
    TFollowerSet& set = sets[value];
    const uint32_t size = TakeBits(6);
    if (size > kMaxFollowers) {
      if (endOfInput_) return;  // a size made of missing bits: nothing to decode
      throw EAbZipCorruptData("Reduce follower set larger than 32");
    }
    set.size = static_cast<uint8_t>(size);
    set.indexBits = IndexBits(static_cast<int>(size));
    for (uint32_t j = 0; j < size; ++j) set.followers[j] = static_cast<uint8_t>(TakeBits(8));
  }

  int state = 0;
  uint8_t last = 0;
  uint32_t v = 0;
  uint32_t length = 0;

  // Whole sequences (a literal, an escaped 144, a back-reference) on the fast
  // loop's bits: four symbols of at most 9 bits fit one refill.
  static_assert(4 * 9 <= TQuick::kQuickBits);
  const auto symbol = [&](TQuick& q) {
    const TFollowerSet& set = sets[last];
    uint8_t x;
    if (set.size == 0) {
      x = static_cast<uint8_t>(q.Take(8));
    } else if (q.Take(1) == 1) {
      x = static_cast<uint8_t>(q.Take(8));
    } else {
      const uint32_t index = q.Take(set.indexBits);
      if (index >= set.size) {
        Leave(q);  // the bytes made so far go out with the failure
        throw EAbZipCorruptData("Reduce follower index past its set");
      }
      x = set.followers[index];
    }
    last = x;
    return x;
  };
  const auto quick = [&] {
    TQuick q = Enter();
    while (q.InputReady() && q.total < q.putEnd) {
      q.Refill();
      const uint8_t x = symbol(q);
      if (x != kEscape) {
        q.Put(x);
        continue;
      }
      const uint8_t y = symbol(q);
      if (y == 0) {
        q.Put(kEscape);
        continue;
      }
      uint32_t count = y & lengthMask;
      if (count == lengthMask) count += symbol(q);
      const uint32_t high = (static_cast<uint32_t>(y) >> (8 - factor)) & ((1u << factor) - 1);
      const int64_t distance = static_cast<int64_t>(high) * 256 + symbol(q) + 1;
      const auto copyLength = static_cast<int32_t>(count + 3);
      if (q.total + copyLength <= q.putEnd) {
        q.Copy(distance, copyLength);
        continue;
      }
      Leave(q);
      CopyBack(distance, copyLength, false);
      return;
    }
    Leave(q);
  };

  while (!endOfInput_ && total_ < uncompressedSize_) {
    if (state == 0) {
      quick();
      if (endOfInput_ || total_ >= uncompressedSize_) break;
    }
    const TFollowerSet& set = sets[last];
    uint8_t x;
    if (set.size == 0 || TakeBits(1) == 1) {
      x = static_cast<uint8_t>(TakeBits(8));
    } else {
      const uint32_t index = TakeBits(set.indexBits);
      if (index >= set.size) {
        if (endOfInput_) return;
        throw EAbZipCorruptData("Reduce follower index past its set");
      }
      x = set.followers[index];
    }
    last = x;
    if (endOfInput_) return;

    switch (state) {
      case 0:
        if (x != kEscape)
          PutByte(x);
        else
          state = 1;
        break;
      case 1:
        if (x == 0) {
          PutByte(kEscape);
          state = 0;
        } else {
          v = x;
          length = v & lengthMask;
          state = length == lengthMask ? 2 : 3;
        }
        break;
      case 2:
        length += x;
        state = 3;
        break;
      default: {
        const uint32_t high = (v >> (8 - factor)) & ((1u << factor) - 1);
        CopyBack(static_cast<int64_t>(high) * 256 + x + 1, static_cast<int32_t>(length + 3), false);
        state = 0;
        break;
      }
    }
  }
}

}  // namespace ab
