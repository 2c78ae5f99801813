// Shrink (method 1): LZW with codes of 9 to 13 bits. Code 256 introduces a
// control value: 1 widens the codes by one bit, 2 frees every code that is no
// other code's prefix (a partial clear).
#include <array>
#include <memory>

#include "zip/engine/AbUnzPrc.h"

namespace ab {

namespace {

constexpr int kTableSize = 8193;
constexpr int kMaxCodes = 8192;  // codes are at most 13 bits wide
constexpr int kMaxWidth = 13;
constexpr int16_t kFree = -1;
constexpr int kFirstFree = 257;

struct TShrinkTables {
  std::array<int16_t, kTableSize> prefix;
  std::array<uint8_t, kTableSize> suffix;
  std::array<uint8_t, kTableSize> stack;
};

int NextFreeFrom(const TShrinkTables& t, int code) {
  while (code < kMaxCodes && t.prefix[code] != kFree) ++code;
  return code;
}

int PartialClear(TShrinkTables& t, int nextFree) {
  for (int c = kFirstFree; c < nextFree; ++c)
    t.prefix[c] = static_cast<int16_t>(t.prefix[c] | 0x8000);
  for (int c = kFirstFree; c < nextFree; ++c) {
    if (t.prefix[c] == kFree) continue;  // a free code is nobody's child
    const int parent = t.prefix[c] & 0x7FFF;
    // A parent that is itself free stays free: reviving it would leave a code
    // whose prefix points outside the table.
    if (parent >= kFirstFree && parent < kMaxCodes && t.prefix[parent] != kFree)
      t.prefix[parent] = static_cast<int16_t>(t.prefix[parent] & 0x7FFF);
  }
  for (int c = kFirstFree; c < nextFree; ++c)
    if (t.prefix[c] < 0) t.prefix[c] = kFree;
  return NextFreeFrom(t, kFirstFree);
}

// The bytes of code's string after its first go on the stack, last byte at
// the bottom; answers the code whose suffix is the first byte, or -1 when the
// chain is longer than the table. A free code stands for the previous
// code's string plus its first byte (the code being defined right now).
int Unwind(TShrinkTables& t, int code, int oldCode, uint8_t baseByte, int& top) {
  top = 0;
  if (t.prefix[code] == kFree) {
    t.stack[top++] = baseByte;
    code = oldCode;
  }
  while (code >= kFirstFree) {
    if (top == kTableSize) return -1;
    if (t.prefix[code] == kFree) {
      t.stack[top++] = baseByte;
      code = oldCode;
    } else {
      t.stack[top++] = t.suffix[code];
      code = t.prefix[code];
    }
  }
  return code;
}

// The previous code's string plus the first byte of this one, in the first
// free code.
int AddCode(TShrinkTables& t, int nextFree, int oldCode, uint8_t firstByte) {
  if (nextFree >= kMaxCodes) return nextFree;
  t.prefix[nextFree] = static_cast<int16_t>(oldCode);
  t.suffix[nextFree] = firstByte;
  return NextFreeFrom(t, nextFree);
}

constexpr const char* kChainTooLong = "Shrink code chain longer than the table";

}  // namespace

void TAbUnzipHelper::DecodeShrunk() {
  auto tables = std::make_unique<TShrinkTables>();
  TShrinkTables& t = *tables;
  t.prefix.fill(kFree);
  t.suffix.fill(0);
  for (int c = 255; c >= 0; --c) {
    t.prefix[c] = 0;
    t.suffix[c] = static_cast<uint8_t>(c);
  }
  int width = 9;
  int nextFree = kFirstFree;

  int oldCode = static_cast<int>(TakeBits(width));
  if (endOfInput_) return;
  uint8_t baseByte = static_cast<uint8_t>(oldCode);
  PutByte(baseByte);

  // Whole codes on the fast loop's bits: a control code and its value take
  // 26 bits, a code 13, so each refill serves either.
  static_assert(2 * kMaxWidth <= TQuick::kQuickBits);
  const auto quick = [&] {
    TQuick q = Enter();
    while (q.InputReady() && q.total < q.putEnd) {
      q.Refill();
      int code = static_cast<int>(q.Take(width));
      if (code == 256) {
        const uint32_t control = q.Take(width);
        if (control == 1) {
          if (++width > kMaxWidth) {
            Leave(q);
            throw EAbZipCorruptData("Shrink code wider than 13 bits");
          }
        } else if (control == 2) {
          nextFree = PartialClear(t, nextFree);
        }
        continue;
      }
      int top = 0;
      const int first = Unwind(t, code, oldCode, baseByte, top);
      if (first < 0) {
        Leave(q);
        throw EAbZipCorruptData(kChainTooLong);
      }
      baseByte = t.suffix[first];
      if (q.total + top + 1 <= q.putEnd) {
        q.Put(baseByte);
        while (top > 0) q.Put(t.stack[--top]);
      } else {
        Leave(q);
        PutByte(baseByte);
        while (top > 0) PutByte(t.stack[--top]);
        q = Enter();
      }
      nextFree = AddCode(t, nextFree, oldCode, baseByte);
      oldCode = code;
    }
    Leave(q);
  };

  while (!endOfInput_) {
    quick();
    if (endOfInput_) break;
    int code = static_cast<int>(TakeBits(width));
    while (code == 256 && !endOfInput_) {
      const uint32_t control = TakeBits(width);
      if (control == 1) {
        if (++width > kMaxWidth) {
          if (endOfInput_) return;  // a control value made of missing bits
          throw EAbZipCorruptData("Shrink code wider than 13 bits");
        }
      } else if (control == 2) {
        nextFree = PartialClear(t, nextFree);
      }
      code = static_cast<int>(TakeBits(width));
    }
    if (endOfInput_) return;

    int top = 0;
    const int first = Unwind(t, code, oldCode, baseByte, top);
    if (first < 0) throw EAbZipCorruptData(kChainTooLong);
    baseByte = t.suffix[first];
    PutByte(baseByte);
    while (top > 0) PutByte(t.stack[--top]);

    nextFree = AddCode(t, nextFree, oldCode, baseByte);
    oldCode = code;
  }
}

}  // namespace ab
