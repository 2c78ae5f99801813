// What the sequential and the chunk decoder share of a dynamic block's
// header: the order of the code-length code's lengths, and the run-length
// coded lengths of the literal/length and distance trees.
#pragma once

#include <cstdint>
#include <cstring>

#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbDfHufD.h"

namespace ab {

inline constexpr uint8_t kDfCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                   11, 4,  12, 3, 13, 2, 14, 1, 15};

// Reads count code lengths into lengths, which start zeroed. The bit reader
// stays the caller's, so that each decoder keeps its own refill: peek() gives
// the code-length tree's entry for the next bits, consume(total) takes that
// many bits (or raises when the input has fewer), extraBits(n) reads a
// repeat's count.
template <typename Peek, typename Consume, typename ExtraBits>
void ReadDfCodeLengths(int count, uint8_t* lengths, Peek peek, Consume consume,
                       ExtraBits extraBits) {
  using Tree = TAbDfDecodeHuffmanTree;
  const auto corrupt = [](const char* text) { throw EAbInternalInflateError(text); };
  int i = 0;
  while (i < count) {
    const uint32_t entry = peek();
    // Only a Deflate64 code-length code may leave entries without a code.
    if (entry & Tree::kSpecial) corrupt("decoded a code length out of range {ReadLitDistCodeLengths}");
    consume(Tree::Total(entry));
    const uint32_t symbol = Tree::Value(entry);
    if (symbol < 16) {
      lengths[i++] = static_cast<uint8_t>(symbol);
      continue;
    }
    int repeat;
    uint8_t repeated = 0;
    if (symbol == 16) {
      if (i == 0) corrupt("a repeat of the previous code length comes first {ReadLitDistCodeLengths}");
      repeated = lengths[i - 1];
      repeat = 3 + static_cast<int>(extraBits(2));
    } else if (symbol == 17) {
      repeat = 3 + static_cast<int>(extraBits(3));
    } else {
      repeat = 11 + static_cast<int>(extraBits(7));
    }
    if (repeat > count - i)
      corrupt("a code length repeat runs past the last code length {ReadLitDistCodeLengths}");
    std::memset(lengths + i, repeated, static_cast<size_t>(repeat));
    i += repeat;
  }
}

}  // namespace ab
