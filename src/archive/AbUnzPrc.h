// The legacy decoders of the ZIP format: Shrink (method 1), Reduce (methods 2
// to 5) and Implode (method 6). TAbUnzipHelper reads one member's compressed
// bytes, decrypting them when a TAbZDecoder is given, and writes the decoded
// bytes with their CRC-32 and progress reports.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/AbExcept.h"
#include "archive/AbZipCry.h"
#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"

namespace ab {

class TAbZipArchive;

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
  // Multi-part sets: asked for part n when the archive stream has run out;
  // answers the stream to go on with (nullptr keeps the current one).
  using TPartRequest = std::function<rtl::TStream*(uint16_t part)>;

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
  void SetArchive(TAbZipArchive* archive) { archive_ = archive; }
  void SetMultiPart(const std::string& archiveFileName, uint16_t currentPart, uint16_t openMode) {
    isMultiPart_ = true;
    archiveFileName_ = archiveFileName;
    currentPart_ = currentPart;
    openMode_ = openMode;
  }
  uint16_t CurrentPart() const { return currentPart_; }

  TProgress OnProgress;
  TPartRequest OnRequestPart;

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
  bool isMultiPart_ = false;
  std::string archiveFileName_;
  TAbZipArchive* archive_ = nullptr;
  uint16_t currentPart_ = 0;
  uint16_t openMode_ = 0;

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
