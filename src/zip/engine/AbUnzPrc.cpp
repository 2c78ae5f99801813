// The legacy decoders' shared machinery (see AbUnzPrc.h): the run, the input
// blocks and the bit reader, the output buffer with its CRC-32 and progress.
// The method decoders live in AbUnzShrink.cpp, AbUnzReduce.cpp and
// AbUnzImplode.cpp.
#include "zip/engine/AbUnzPrc.h"

#include <algorithm>
#include <limits>

#include "zip/engine/AbSWStm.h"
#include "zip/engine/AbUtils.h"

namespace ab {

TAbUnzipHelper::TAbUnzipHelper(rtl::TStream& archiveStream, rtl::TStream& outStream,
                               TAbZDecoder* decoder)
    : outStream_(outStream),
      compressedSize_(static_cast<int32_t>(
          std::min<int64_t>(archiveStream.Size(), std::numeric_limits<int32_t>::max()))),
      decoder_(decoder),
      history_(std::make_unique_for_overwrite<uint8_t[]>(kHistorySize)),  // written before read
      archiveStream_(&archiveStream) {}

TAbUnzipHelper::~TAbUnzipHelper() = default;

void TAbUnzipHelper::BeginInput() {
  bitBuffer_ = 0;
  bitCount_ = 0;
  tail_ = false;
  currentByte_ = 0;
  bitsLeft_ = 0;
  inPos_ = 0;
  inCount_ = 0;
  endOfInput_ = false;
  total_ = produced_ = flushMark_ = 0;
  nextProgressAt_ = 0;
  inRemaining_ = compressedSize_;
}

uint32_t TAbUnzipHelper::Run() {
  BeginInput();
  std::unique_ptr<TabSlidingWindowStream> window;
  if (compressionMethod_ >= 2 && compressionMethod_ <= 6) {
    window = std::make_unique<TabSlidingWindowStream>(outStream_);
    sink_ = window.get();
  } else {
    sink_ = &outStream_;
  }
  try {
    if (decoder_ != nullptr) {
      decoder_->DecryptHeader();
      inRemaining_ -= TAbZDecoder::kHeaderSize;
    }
    switch (compressionMethod_) {
      case 1:
        DecodeShrunk();
        break;
      case 2:
      case 3:
      case 4:
      case 5:
        DecodeReduced();
        break;
      case 6:
        DecodeImploded();
        break;
      default:
        throw EAbZipInvalidMethod();
    }
  } catch (...) {
    // The first failure is the one to report; what is decoded still goes out
    // so that the caller sees the same partial file whatever went wrong.
    try {
      FlushOutput();
      if (window) window->Release();
    } catch (...) {
    }
    throw;
  }
  FlushOutput();
  if (window) window->Release();
  return ~crc_;
}

// ---- Input ------------------------------------------------------------------

void TAbUnzipHelper::FillInput() {
  if (inRemaining_ == 0) {
    endOfInput_ = true;
    inPos_ = inCount_;
    return;
  }
  const int64_t inStream = archiveStream_->Size() - archiveStream_->Position();
  const auto n = static_cast<int32_t>(
      std::max<int64_t>(0, std::min<int64_t>({inRemaining_, kInputBufferSize, inStream})));
  const int32_t got = n > 0 ? archiveStream_->Read(inBuffer_.data(), n) : 0;
  if (got <= 0) throw EAbReadError();
  if (decoder_ != nullptr) decoder_->DecryptBuffer(inBuffer_.data(), got);
  inCount_ = got;
  inPos_ = 0;
  inRemaining_ -= got;
  endOfInput_ = false;
}

// Moves whole bytes from the input block into the bit buffer; never reads
// the archive stream.
void TAbUnzipHelper::TopUp() {
  while (bitCount_ <= 56 && inPos_ < inCount_) {
    bitBuffer_ |= static_cast<uint64_t>(inBuffer_[inPos_++]) << bitCount_;
    bitCount_ += 8;
  }
}

uint32_t TAbUnzipHelper::TakeBitsSlow(int n) {
  if (!tail_) {
    TopUp();
    // A new block is read only when the bits held cannot satisfy the call,
    // just when a byte-at-a-time reader would need its next byte.
    while (bitCount_ < n && inPos_ >= inCount_) {
      FillInput();
      if (endOfInput_) break;
      TopUp();
    }
    if (bitCount_ >= n) return TakeBits(n);
    // The input has run out: go on as a byte-at-a-time reader would, with
    // the partial byte as its current byte and whole bytes still to fetch.
    tail_ = true;
    bitsLeft_ = static_cast<uint8_t>(bitCount_ % 8);
    currentByte_ = static_cast<uint8_t>(bitBuffer_ & ((1u << bitsLeft_) - 1));
    bitBuffer_ >>= bitsLeft_;
    bitCount_ -= bitsLeft_;
  }
  return TailTakeBits(n);
}

void TAbUnzipHelper::TailFetch() {
  if (bitCount_ >= 8) {
    currentByte_ = static_cast<uint8_t>(bitBuffer_);
    bitBuffer_ >>= 8;
    bitCount_ -= 8;
  } else {
    FillInput();  // sets end of input; the current byte stays as it was
  }
  bitsLeft_ = 8;
}

uint32_t TAbUnzipHelper::TailTakeBits(int n) {
  if (bitsLeft_ == 0) TailFetch();
  if (n < bitsLeft_) {
    const uint32_t result = currentByte_ & ((1u << n) - 1);
    currentByte_ = static_cast<uint8_t>(currentByte_ >> n);
    bitsLeft_ = static_cast<uint8_t>(bitsLeft_ - n);
    return result;
  }
  if (n == bitsLeft_) {
    const uint32_t result = currentByte_;
    currentByte_ = 0;
    bitsLeft_ = 0;
    return result;
  }
  const int low = bitsLeft_;
  const uint32_t lowPart = currentByte_;
  TailFetch();
  return lowPart | (TailTakeBits(n - low) << low);
}

// ---- Output -----------------------------------------------------------------

void TAbUnzipHelper::WritePending() {
  while (produced_ < total_) {
    const int64_t start = produced_ & kHistoryMask;
    const auto n = static_cast<int32_t>(std::min(total_ - produced_, kHistorySize - start));
    const uint8_t* bytes = history_.get() + start;
    sink_->WriteBuffer(bytes, n);
    crc_ = UpdateCrc32(crc_, bytes, static_cast<size_t>(n));
    produced_ += n;
  }
}

void TAbUnzipHelper::FlushOutput() {
  WritePending();
  flushMark_ = total_;
  ReportProgress();
}

void TAbUnzipHelper::ReportProgress() {
  const auto done = [](int64_t count) {
    return static_cast<int32_t>(std::min<int64_t>(count, std::numeric_limits<int32_t>::max()));
  };
  const uint8_t percent = Percentage(done(total_), uncompressedSize_);
  if (percent != lastPercentage_ && OnProgress) {
    lastPercentage_ = percent;
    bool abort = false;
    OnProgress(percent, abort);
    if (abort) throw EAbUserAbort();
  }
  // The first count at which the percentage will differ from the last one
  // reported, so that a per-byte check costs one comparison.
  nextProgressAt_ = std::numeric_limits<int64_t>::max();
  if (!OnProgress) return;
  int64_t low = total_ + 1;
  int64_t high = std::max<int64_t>(low, uncompressedSize_);
  if (Percentage(done(high), uncompressedSize_) == lastPercentage_) return;
  while (low < high) {
    const int64_t mid = low + (high - low) / 2;
    if (Percentage(done(mid), uncompressedSize_) != lastPercentage_)
      high = mid;
    else
      low = mid + 1;
  }
  nextProgressAt_ = low;
}

// Copies length bytes from distance bytes back; a position before the start
// of the output gives 0. With flushEachByte, every byte read back is preceded
// by a flush of the output, which is when Implode reports progress.
//
// Runs of bytes that reach no flush point, no change of the percentage and
// not the expected size are copied straight within the history; the byte at
// such a point goes through PutByte.
void TAbUnzipHelper::CopyBack(int64_t distance, int32_t length, bool flushEachByte) {
  constexpr int64_t kNever = std::numeric_limits<int64_t>::max() / 2;
  int64_t from = total_ - distance;
  const bool flush = flushEachByte && static_cast<bool>(OnProgress);
  int64_t left = length;
  while (left > 0) {
    if (from < 0) {
      PutByte(0);
      ++from;
      --left;
      continue;
    }
    int64_t run = std::min(left, produced_ + kOutputBufferSize - total_ - 1);
    run = std::min(run, total_ < uncompressedSize_ ? uncompressedSize_ - total_ - 1 : kNever);
    run = std::min(run,
                   flush ? nextProgressAt_ - total_ : flushMark_ + kOutputBufferSize - total_ - 1);
    if (run > 0) {
      uint8_t* history = history_.get();
      for (int64_t j = 0; j < run; ++j, ++from, ++total_)
        history[total_ & kHistoryMask] = history[from & kHistoryMask];
      if (flush) flushMark_ = total_ - 1;  // the flush before the last byte
      left -= run;
      continue;
    }
    if (flush) {
      // Only the progress of a flush shows: the bytes themselves may wait.
      flushMark_ = total_;
      if (total_ >= nextProgressAt_) ReportProgress();
    }
    PutByte(history_[from & kHistoryMask]);
    ++from;
    --left;
  }
}

}  // namespace ab
