// The output window of the Deflate decoder: history, block writes to the
// destination and the running checksum.
#include "archive/AbDfOutW.h"

#include <algorithm>
#include <cstring>

#include "archive/AbCrc32.h"

namespace ab {

TAbDfOutputWindow::TAbDfOutputWindow(rtl::TStream& dest, bool deflate64, bool useCrc,
                                     int32_t stopAfter, bool testOnly, TAbLogger* log)
    : checksum_(useCrc ? kCrc32Start : kAdler32Start),
      log_(log),
      stopAfter_(stopAfter > 0 ? stopAfter : 0),
      history_(deflate64 ? 65536 : 32768),
      dest_(dest),
      testOnly_(testOnly),
      useCrc_(useCrc) {
  const size_t size =
      static_cast<size_t>(history_) + kChunk + (deflate64 ? kMaxMatch64 : kMaxMatch) + kOvershoot;
  buffer_ = std::make_unique_for_overwrite<uint8_t[]>(size);
  cursor_ = buffer_.get();
  flushed_ = cursor_;
  flushPoint_ = buffer_.get() + history_ + kChunk;
}

void TAbDfOutputWindow::PutLiteral(uint8_t byte) {
  *cursor_++ = byte;
  CheckStop();
  if (cursor_ >= flushPoint_) Slide();
}

void TAbDfOutputWindow::CopyMatch(int32_t length, int32_t distance) {
  const uint8_t* from = cursor_ - distance;
  if (distance >= length) {
    std::memcpy(cursor_, from, static_cast<size_t>(length));
  } else {
    // Overlapping: the bytes just written repeat.
    for (int32_t i = 0; i < length; ++i) cursor_[i] = from[i];
  }
  cursor_ += length;
  CheckStop();
  if (cursor_ >= flushPoint_) Slide();
}

void TAbDfOutputWindow::PutBytes(const uint8_t* bytes, int32_t count) {
  while (count > 0) {
    if (cursor_ >= flushPoint_) Slide();
    const auto n = static_cast<int32_t>(std::min<int64_t>(count, flushPoint_ - cursor_));
    std::memcpy(cursor_, bytes, static_cast<size_t>(n));
    cursor_ += n;
    bytes += n;
    count -= n;
  }
  if (cursor_ >= flushPoint_) Slide();
}

void TAbDfOutputWindow::WriteOut(const uint8_t* from, const uint8_t* to) {
  if (to <= from) return;
  const size_t n = static_cast<size_t>(to - from);
  checksum_ = useCrc_ ? UpdateCrc32(checksum_, from, n) : UpdateAdler32(checksum_, from, n);
  if (!testOnly_) dest_.WriteBuffer(from, static_cast<int32_t>(n));
  produced_ += static_cast<int64_t>(n);
}

void TAbDfOutputWindow::Slide() {
  uint8_t* base = buffer_.get();
  // Mark the bytes as written before writing, so that a failing destination
  // is not written the same bytes twice by the flush after a failure.
  uint8_t* from = flushed_;
  flushed_ = cursor_;
  WriteOut(from, cursor_);
  const auto keep = static_cast<size_t>(std::min<int64_t>(cursor_ - base, history_));
  std::memmove(base, cursor_ - keep, keep);
  cursor_ = base + keep;
  flushed_ = cursor_;
}

void TAbDfOutputWindow::FlushAll() {
  uint8_t* from = flushed_;
  flushed_ = cursor_;
  WriteOut(from, cursor_);
}

uint32_t TAbDfOutputWindow::FinalChecksum() {
  FlushAll();
  return useCrc_ ? ~checksum_ : checksum_;
}

int64_t TAbDfOutputWindow::BytesProduced() const {
  return produced_ + (cursor_ - flushed_);
}

}  // namespace ab
