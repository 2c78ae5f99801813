// The legacy decoders of the ZIP format: Shrink (method 1), Reduce (methods 2
// to 5) and Implode (method 6). TAbUnzipHelper reads one member's compressed
// bytes, decrypting them when a TAbZDecoder is given, and writes the decoded
// bytes with their CRC-32 and progress reports.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rtl/Stream.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbZipCry.h"

namespace ab {

// Compressed data that the decoders' tables cannot hold: refused rather than
// decoded out of bounds.
class EAbZipCorruptData : public EAbZipException {
 public:
  explicit EAbZipCorruptData(const std::string& what)
      : EAbZipException("Cannot extract file - corrupt compressed data (" + what + ")") {}
};

class TAbUnzipHelper {
 public:
  using TProgress = std::function<void(uint8_t percent, bool& abort)>;

  static constexpr int32_t kOutputBufferSize = 32768;
  static constexpr int32_t kInputBufferSize = 4096;

  // The streams and the decoder are not owned.
  TAbUnzipHelper(rtl::TStream& archiveStream, rtl::TStream& outStream, TAbZDecoder* decoder);
  ~TAbUnzipHelper();
  TAbUnzipHelper(const TAbUnzipHelper&) = delete;
  TAbUnzipHelper& operator=(const TAbUnzipHelper&) = delete;

  // Decodes the whole member; returns the CRC-32 of every byte written.
  uint32_t Run();

  void SetDictionarySize(uint8_t size) { dictionarySize_ = size; }  // 1: 4 KB, 2: 8 KB
  void SetCompressedSize(int32_t size) { compressedSize_ = size; }
  void SetUncompressedSize(int32_t size) { uncompressedSize_ = size; }
  void SetCompressionMethod(uint8_t method) { compressionMethod_ = method; }
  void SetShannonFanoTreeCount(uint8_t count) { shannonFanoTreeCount_ = count; }

  TProgress OnProgress;

 protected:
  // One Implode code table: entries sorted by bit length, then value, each
  // with its code bit-reversed so that it matches bits read low bit first.
  struct TShannonFanoTree {
    struct TEntry {
      uint16_t code = 0;
      uint8_t value = 0;
      uint8_t bitLength = 0;
    };
    int16_t count = 0;
    std::array<TEntry, 257> entries{};
    // Direct lookup on the next maxBits bits (at most 12): value | (bits
    // used << 8). Empty when the code is too irregular for it to pay.
    std::vector<uint16_t> lookup;
    uint8_t maxBits = 0;
  };

  // Bit-level building blocks, exposed to subclasses for testing.
  void BeginInput();
  uint32_t TakeBits(int n) {
    if (bitCount_ < n || tail_) return TakeBitsSlow(n);
    const auto result = static_cast<uint32_t>(bitBuffer_ & ((1u << n) - 1));
    bitBuffer_ >>= n;
    bitCount_ -= n;
    return result;
  }
  void PutByte(uint8_t b) {
    history_[total_ & kHistoryMask] = b;
    ++total_;
    if (total_ - produced_ == kOutputBufferSize) WritePending();
    if (total_ - flushMark_ == kOutputBufferSize || total_ == uncompressedSize_) FlushOutput();
  }
  void FlushOutput();
  void FillInput();

  // The decoders' fast loops work on a local copy of the bit reader and the
  // output count, which the compiler keeps in registers: a store into the
  // history through a byte pointer could alias any member, and the member
  // forms reload everything after each byte. A loop runs only while its
  // input block holds kQuickInputBytes more bytes, so that one Refill gives
  // at least kQuickBits bits and never reads the archive, and it makes bytes
  // up to putEnd only, short of every flush, progress report and the
  // declared size. Anything else goes back to the member forms: Leave, call
  // them, Enter again. The bits and bytes are the same either way.
  struct TQuick {
    static constexpr int kQuickInputBytes = 8;
    static constexpr int kQuickBits = 56;

    uint64_t bits;
    int count;
    const uint8_t* in;
    const uint8_t* inEnd;
    uint8_t* history;
    int64_t total;
    int64_t putEnd;  // the last count a byte may bring total to quietly

    bool InputReady() const { return inEnd - in >= kQuickInputBytes; }
    // Whole bytes in while fewer than 56 bits are held. Bits above count may
    // already hold the next byte's low bits: the next refill puts the same
    // byte at the same place, so the OR changes nothing.
    void Refill() {
      uint64_t next;
      std::memcpy(&next, in, sizeof next);
      next = LittleEndian64(next);
      bits |= next << count;
      in += (63 - count) >> 3;
      count |= kQuickBits;  // 56 plus the odd bits left: 56 is 0b111000
    }
    uint32_t Take(int n) {
      const auto result = static_cast<uint32_t>(bits & ((uint64_t{1} << n) - 1));
      bits >>= n;
      count -= n;
      return result;
    }
    void Put(uint8_t b) { history[total++ & kHistoryMask] = b; }
    // A back-reference whose bytes all fit before putEnd; positions before
    // the start of the output give 0.
    void Copy(int64_t distance, int32_t length) {
      int64_t from = total - distance;
      for (; from < 0 && length > 0; ++from, --length) Put(0);
      for (int32_t j = 0; j < length; ++j, ++from)
        history[total++ & kHistoryMask] = history[from & kHistoryMask];
    }
    static uint64_t LittleEndian64(uint64_t v) {
      if constexpr (std::endian::native == std::endian::little) return v;
      return __builtin_bswap64(v);
    }
  };
  // Inline, so that a loop's copy never has its address taken and stays in
  // registers.
  TQuick Enter() const {
    TQuick q;
    q.bits = bitBuffer_;
    q.count = bitCount_;
    q.in = inBuffer_.data() + inPos_;
    // In the tail, bits come a byte at a time: no fast loop runs there.
    q.inEnd = tail_ ? q.in : inBuffer_.data() + inCount_;
    q.history = history_.get();
    q.total = total_;
    // PutByte writes out at produced_ + kOutputBufferSize, flushes at
    // flushMark_ + kOutputBufferSize and at the declared size: quiet up to
    // one byte short of each.
    q.putEnd = std::min(produced_, flushMark_) + kOutputBufferSize - 1;
    if (total_ < uncompressedSize_) q.putEnd = std::min<int64_t>(q.putEnd, uncompressedSize_ - 1);
    return q;
  }
  void Leave(TQuick q) {
    // TopUp ORs bytes in above bitCount_: clear what Refill loaded early.
    bitBuffer_ = q.count == 0 ? 0 : q.bits & (~uint64_t{0} >> (64 - q.count));
    bitCount_ = q.count;
    inPos_ = static_cast<int32_t>(q.in - inBuffer_.data());
    total_ = q.total;
  }
  void LoadShannonFanoTree(TShannonFanoTree& tree, int16_t count);
  uint8_t DecodeTreeSymbol(const TShannonFanoTree& tree);
  bool EndOfInput() const { return endOfInput_; }
  int64_t Total() const { return total_; }

 private:
  void DecodeShrunk();
  void DecodeReduced();
  void DecodeImploded();
  void CopyBack(int64_t distance, int32_t length, bool flushEachByte);

  void TopUp();
  uint32_t TakeBitsSlow(int n);
  uint32_t TailTakeBits(int n);
  void TailFetch();
  uint8_t DecodeTreeSymbolSlow(const TShannonFanoTree& tree);

  void WritePending();
  void ReportProgress();

  static constexpr int64_t kHistorySize = 65536;  // > pending output + largest distance
  static constexpr int64_t kHistoryMask = kHistorySize - 1;

  rtl::TStream* sink_ = nullptr;
  rtl::TStream& outStream_;
  int32_t uncompressedSize_ = 0;
  uint32_t crc_ = 0xFFFFFFFF;
  int32_t compressedSize_ = 0;
  uint8_t compressionMethod_ = 8;
  TAbZDecoder* decoder_;
  uint8_t dictionarySize_ = 0;
  uint8_t shannonFanoTreeCount_ = 0;
  uint8_t lastPercentage_ = 0;

  // Output: every byte lands in the history ring; produced_ bytes of it have
  // reached the sink. flushMark_ is where the last flush that reported
  // progress stood, which decides when the next one falls due.
  std::unique_ptr<uint8_t[]> history_;
  int64_t total_ = 0;
  int64_t produced_ = 0;
  int64_t flushMark_ = 0;
  int64_t nextProgressAt_ = 0;

  // Input: a 4 KB block, drained into a 64-bit bit buffer.
  std::array<uint8_t, kInputBufferSize> inBuffer_{};
  int32_t inPos_ = 0;
  int32_t inCount_ = 0;
  int32_t inRemaining_ = 0;
  bool endOfInput_ = false;
  uint64_t bitBuffer_ = 0;
  int bitCount_ = 0;
  // Once the compressed bytes are used up, bits are taken one byte at a
  // time, the last byte standing in for the missing ones, so that a
  // truncated member decodes to the same bytes however bits are buffered.
  bool tail_ = false;
  uint8_t currentByte_ = 0;
  uint8_t bitsLeft_ = 0;
  rtl::TStream* archiveStream_;
};

}  // namespace ab
