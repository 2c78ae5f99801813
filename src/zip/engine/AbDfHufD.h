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
//   bit 15     kLongMatch: Deflate64's length symbol 285, whose match may run
//              far past kMaxMatch bytes; the decoder's fast loop leaves it to
//              the careful path
//   bits 16-31 value
//
// The tables are fixed arrays inside the tree, as large as the largest table
// any accepted code can need (kLitLenCapacity and kDistanceCapacity; a test
// finds the same numbers by enumerating every code), so a decoder keeps its
// trees for as long as it lives and fills them again for each block.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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
  static constexpr uint32_t kLongMatch = 0x8000;
  static constexpr uint32_t kEndOfBlock = 0;
  static constexpr uint32_t kInvalid = 1;
  static constexpr int kMaxCodeLength = 15;
  static constexpr int kMaxCodeLengthCodeLength = 7;

  // First-level widths: wide enough that nearly every code of real data is
  // found with one lookup, small enough that a table is cheap to fill per
  // block.
  static constexpr int kLitLenMainBits = 11;
  static constexpr int kDistanceMainBits = 8;
  static constexpr int kCodeLengthMainBits = kMaxCodeLengthCodeLength;

  // The largest tables, first level and subtables together, over every code
  // Build accepts (up to 288 literal/length and 32 distance symbols,
  // complete or not): proven by the enumeration in the tests.
  static constexpr size_t kLitLenCapacity = 2362;
  static constexpr size_t kDistanceCapacity = 534;
  static constexpr size_t kCodeLengthCapacity = size_t{1} << kCodeLengthMainBits;

  TAbDfDecodeHuffmanTree(const TAbDfDecodeHuffmanTree&) = delete;
  TAbDfDecodeHuffmanTree& operator=(const TAbDfDecodeHuffmanTree&) = delete;

  // Builds the tables from count code lengths. A set of lengths that
  // over-subscribes the code space is always refused. One that leaves part
  // of it unused is valid Deflate64 (its unused entries decode as kInvalid,
  // refused only if they are ever met); plain Deflate accepts it only as no
  // code at all or a single one-bit code (literal/length and distance trees),
  // which a compressor writes for a block with a single distance or none, as
  // zlib does. deflate64 also gives length symbol 285 and distance symbols 30
  // and 31 their Deflate64 meanings. Raises EAbInternalInflateError.
  void Build(const uint8_t* lengths, int count, bool deflate64);

  // The entry for the next bits of input, subtable resolved. Bits above the
  // longest code are ignored.
  uint32_t Decode(uint64_t bits) const {
    return Resolve(table_, table_[bits & mainMask_], bits, static_cast<uint32_t>(mainBits_));
  }
  // A first-level entry with its subtable entry looked up: the one place the
  // second level is read, for this decoder's careful and fast paths alike.
  static uint32_t Resolve(const uint32_t* table, uint32_t entry, uint64_t bits, uint32_t mainBits) {
    if (entry & kSubtable)
      entry = table[(entry >> 16) + ((bits >> mainBits) & ((1u << ((entry >> 8) & 0xF)) - 1))];
    return entry;
  }

  // The longest code length present (0 for a tree without codes).
  int LookupBitLength() const { return lookupBitLength_; }
  // The first level's width: kLitLenMainBits, kDistanceMainBits or
  // kCodeLengthMainBits, whatever the codes.
  int MainBits() const { return mainBits_; }
  const uint32_t* Table() const { return table_; }
  // Entries in use after the last Build.
  size_t TableSize() const { return size_; }

  static uint32_t Total(uint32_t entry) { return entry & 0x1F; }
  static uint32_t CodeLength(uint32_t entry) { return (entry >> 8) & 0xF; }
  static uint32_t Value(uint32_t entry) { return entry >> 16; }

 protected:
  TAbDfDecodeHuffmanTree(TAbDfTreeKind kind, uint32_t* table, size_t capacity);

 private:
  int SymbolLimit() const;

  TAbDfTreeKind kind_;
  int lookupBitLength_ = 0;
  int mainBits_ = 0;
  uint32_t mainMask_ = 0;
  uint32_t* table_;
  size_t capacity_;
  size_t size_ = 0;  // entries in use
};

// The table of a tree, a base of it so that it exists before the tree.
template <size_t Capacity>
struct TAbDfTableStorage {
  std::array<uint32_t, Capacity> entries;
};

// A tree with its table inside.
template <TAbDfTreeKind Kind, size_t Capacity>
class TAbDfHuffmanTable final : private TAbDfTableStorage<Capacity>, public TAbDfDecodeHuffmanTree {
 public:
  TAbDfHuffmanTable() : TAbDfDecodeHuffmanTree(Kind, this->entries.data(), Capacity) {}
};

using TAbDfLitLenTree =
    TAbDfHuffmanTable<TAbDfTreeKind::LitLen, TAbDfDecodeHuffmanTree::kLitLenCapacity>;
using TAbDfDistanceTree =
    TAbDfHuffmanTable<TAbDfTreeKind::Distance, TAbDfDecodeHuffmanTree::kDistanceCapacity>;
using TAbDfCodeLengthTree =
    TAbDfHuffmanTable<TAbDfTreeKind::CodeLengths, TAbDfDecodeHuffmanTree::kCodeLengthCapacity>;

// The fixed trees of block type 1, built once and shared read-only.
const TAbDfDecodeHuffmanTree& FixedLitLenTree(bool deflate64);
const TAbDfDecodeHuffmanTree& FixedDistanceTree(bool deflate64);

}  // namespace ab
