// Canonical Huffman decoding tables for the Deflate decoder.
//
// A tree is a two-level lookup table. The first level is indexed by the next
// MainBits() input bits (least-significant bit first). An entry either
// decodes a whole code, or, for codes longer than MainBits(), points to a
// subtable indexed by the bits just above the first level. Every decoding
// entry is ready to use: it carries what the symbol means (a literal byte, a
// length or distance base, a code length, end of block) instead of the bare
// symbol, and the count of bits to consume for the code plus its extra bits,
// so the decoder needs one lookup (two for long codes) and no symbol tables.
//
// Entry layout (32 bits):
//   bits 0-4   total bits to consume: code length + extra bits (at most 31);
//              bit 5 stays clear, so the low six bits can be a shift count
//   bits 8-11  the code length (the extra bits sit just above it)
//   bit 12     kLiteral: value is a literal byte
//   bit 13     kSubtable: value is the subtable's offset, bits 8-11 its index width
//   bit 14     kSpecial: value kEndOfBlock, or kInvalid for a code that may not occur
//   bits 16-31 value
#pragma once

#include <cstdint>
#include <memory>

namespace ab {

enum class TAbDfTreeKind : uint8_t {
  CodeLengths,  // the 19-symbol code-length alphabet of a dynamic block
  LitLen,       // literals, end of block and lengths
  Distance,
};

class TAbDfDecodeHuffmanTree {
 public:
  static constexpr uint32_t kLiteral = 0x1000;
  static constexpr uint32_t kSubtable = 0x2000;
  static constexpr uint32_t kSpecial = 0x4000;
  static constexpr uint32_t kEndOfBlock = 0;
  static constexpr uint32_t kInvalid = 1;
  static constexpr int kMaxCodeLength = 15;

  // symbolCount is the most symbols the tree may have; deflate64 selects the
  // meaning of length symbol 285 and distance symbols 30 and 31.
  TAbDfDecodeHuffmanTree(int symbolCount, TAbDfTreeKind kind, bool deflate64);

  // Builds the tables from count code lengths. A set of lengths that
  // over-subscribes the code space is refused, and so is an incomplete one,
  // except no code at all and a single code of one bit (literal/length and
  // distance trees only); the unused entries then decode as kInvalid.
  // Raises EAbInternalInflateError.
  void Build(const uint8_t* lengths, int count);

  // The entry for the next bits of input, subtable resolved. Bits above the
  // longest code are ignored.
  uint32_t Decode(uint64_t bits) const {
    uint32_t entry = table_[bits & mainMask_];
    if (entry & kSubtable)
      entry = table_[(entry >> 16) + ((bits >> mainBits_) & ((1u << ((entry >> 8) & 0xF)) - 1))];
    return entry;
  }

  // The longest code length present (0 for a tree without codes).
  int LookupBitLength() const { return lookupBitLength_; }
  int MainBits() const { return mainBits_; }
  const uint32_t* Table() const { return table_.get(); }

  static uint32_t Total(uint32_t entry) { return entry & 0x1F; }
  static uint32_t CodeLength(uint32_t entry) { return (entry >> 8) & 0xF; }
  static uint32_t Value(uint32_t entry) { return entry >> 16; }

 private:
  uint32_t EntryFor(int symbol, int length) const;
  // Entries for codes longer than the first level, at most.
  size_t Capacity() const;

  int symbolCount_;
  TAbDfTreeKind kind_;
  bool deflate64_;
  int lookupBitLength_ = 0;
  int mainBits_ = 0;
  uint32_t mainMask_ = 0;
  std::unique_ptr<uint32_t[]> table_;
  size_t size_ = 0;  // entries in use
};

// The fixed trees of block type 1, built once and shared read-only.
const TAbDfDecodeHuffmanTree& FixedLitLenTree(bool deflate64);
const TAbDfDecodeHuffmanTree& FixedDistanceTree(bool deflate64);

}  // namespace ab
