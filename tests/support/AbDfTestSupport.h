// Helpers for the Deflate decoder's tests: a bit writer that hand-crafts
// streams, canonical codes, traditional encryption and a one-call Inflate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/engine/AbDfBase.h"

namespace dftest {

using Bytes = std::vector<uint8_t>;

// Writes bits least-significant first, as Deflate stores them.
class BitWriter {
 public:
  void Put(uint32_t value, int count) {
    for (int i = 0; i < count; ++i) PutBit((value >> i) & 1);
  }
  // A Huffman code goes out most-significant bit first.
  void PutCode(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) PutBit((code >> i) & 1);
  }
  void AlignToByte() {
    while (bitCount_ != 0) PutBit(0);
  }
  void PutBytes(const Bytes& bytes) {
    AlignToByte();
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  }
  Bytes Finish() {
    AlignToByte();
    return bytes_;
  }

  // Fixed-code symbols.
  void FixedLitLen(int symbol) {
    if (symbol < 144)
      PutCode(0x30 + symbol, 8);
    else if (symbol < 256)
      PutCode(0x190 + symbol - 144, 9);
    else if (symbol < 280)
      PutCode(symbol - 256, 7);
    else
      PutCode(0xC0 + symbol - 280, 8);
  }
  void FixedDistance(int symbol) { PutCode(symbol, 5); }

 private:
  void PutBit(uint32_t bit) {
    if (bitCount_ == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(bit << bitCount_);
    bitCount_ = (bitCount_ + 1) % 8;
  }
  Bytes bytes_;
  int bitCount_ = 0;
};

// The canonical codes for a set of code lengths (0: no code).
std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths);

// Writes a dynamic block header for the given literal/length and distance
// lengths, sending every length as itself (no repeat codes) with a
// fixed, complete code-length code.
void PutDynamicHeader(BitWriter& writer, bool final, const std::vector<int>& litLengths,
                      const std::vector<int>& distLengths);

// Traditional ZIP encryption: 12-byte header whose last byte is checkByte.
Bytes Encrypt(const Bytes& plain, const std::string& password, uint8_t checkByte);

struct InflateResult {
  Bytes output;
  uint32_t checksum = 0;
  int64_t sourcePosition = 0;
  ab::TAbDeflateHelper helper;
};

// Decodes input with the options (copied) through memory streams.
InflateResult RunInflate(const Bytes& input, const ab::TAbDeflateHelper& options = {});
InflateResult RunInflate(const Bytes& input, uint32_t flags);

// The message of the EAbInflateError the decode raises ("" when none).
std::string InflateError(const Bytes& input, uint32_t flags = 0);

#if TESSALINE_HAVE_ZLIB
Bytes ZlibDeflate(const Bytes& data, int level, int windowBits = 15, int strategy = 0,
                  int memLevel = 8);
#endif

// The corpus file's plain bytes ("" when the corpus is absent), .gz unpacked.
Bytes CorpusText(const std::string& name);

}  // namespace dftest
