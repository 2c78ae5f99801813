// A resumable Deflate (and Deflate64) decoder over input held whole in
// memory, for the parallel decoder: it starts at any bit position, writes
// symbols of a width the caller chooses (bytes, or 16-bit symbols whose
// values above 255 stand for bytes of a window not yet known), stops at a
// block boundary past a given bit, at the end of the final block or when its
// output is full, and carries on from there when called again.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zip/engine/AbDfDec.h"

namespace ab {

class TAbDfChunkDecoder {
 public:
  enum class TStop {
    kBoundary,  // at a block header at or past the stop bit
    kEnd,       // the final block is decoded
    kFull,      // the output reached its limit between two symbols
  };

  // Symbols a caller must leave behind the output limit: the longest match
  // (Deflate64's reach 65538) and what a block copy writes past its end.
  static constexpr size_t kTail = 65538 + 64;

  TAbDfChunkDecoder(const uint8_t* data, size_t size, bool deflate64);
  TAbDfChunkDecoder(const TAbDfChunkDecoder&) = delete;
  TAbDfChunkDecoder& operator=(const TAbDfChunkDecoder&) = delete;

  // The next call decodes the block whose header starts at bit.
  void StartAt(uint64_t bit);

  // Decodes from where it stands into out, moving it on. A distance may reach
  // back to base and no further; out stays below limit, with kTail symbols
  // of room behind it. Corrupt data, and data that would need bits past the
  // end of the input, raise EAbInternalInflateError.
  template <typename T>
  TStop Decode(T*& out, const T* base, T* limit, uint64_t stopBit);

  // The bit the next read takes.
  uint64_t Position() const;

 private:
  enum class TBlock { kHeader, kStored, kCoded, kDone };

  struct TBits {
    const uint8_t* begin;
    const uint8_t* end;
    const uint8_t* next;  // first byte not yet in the buffer
    uint64_t buffer;      // bits above count are the following input, or zero
    uint32_t count;
  };

  void ReadHeader();
  void ReadDynamicTables();
  uint32_t ReadBits(uint32_t n);
  void Fill();
  template <typename T>
  void CopyStored(T*& out, T* limit);
  template <typename T>
  bool DecodeFast(T*& out, const T* base, T* limit);
  template <typename T>
  bool DecodeCarefully(T*& out, const T* base);

  TBits bits_;
  bool deflate64_;
  bool final_ = false;
  TBlock block_ = TBlock::kHeader;
  uint32_t storedLeft_ = 0;
  const TAbDfDecodeHuffmanTree* litLen_ = nullptr;
  const TAbDfDecodeHuffmanTree* distance_ = nullptr;
  TAbDfBlockTrees trees_;
};

}  // namespace ab
