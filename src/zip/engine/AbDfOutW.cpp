// The output window of the Deflate decoder: history, block writes to the
// destination and the running checksum.
#include "zip/engine/AbDfOutW.h"

#include <algorithm>
#include <cstring>

#include "zip/engine/AbCrc32.h"

namespace ab {

TAbDfOutputWindow::TAbDfOutputWindow(rtl::TStream& dest, bool deflate64, bool useCrc,
                                     int32_t stopAfter, bool testOnly, TAbLogger* log,
                                     uint8_t* buffer)
    : buffer_(buffer),
      checksum_(useCrc ? kCrc32Start : kAdler32Start),
      log_(log),
      stopAfter_(stopAfter > 0 ? stopAfter : 0),
      history_(deflate64 ? 65536 : 32768),
      dest_(dest),
      testOnly_(testOnly),
      useCrc_(useCrc) {
  static_assert(kBufferSize >= 65536 + kChunk + kTail);
  cursor_ = buffer_;
  flushed_ = cursor_;
  checked_ = cursor_;
  flushPoint_ = buffer_ + history_ + kChunk;
  // Only at the stream's end: bytes after the position would be overwritten
  // by the tail.
  if (rtl::TMemoryStream* memory = testOnly ? nullptr : dest.AppendInPlace()) {
    memory_ = memory;
    memoryStart_ = memory->Position();
    GrowMemory();
  }
}

TAbDfOutputWindow::~TAbDfOutputWindow() {
  // A decode ends with FlushAll; this only keeps the stream's length right
  // should one end without it.
  if (memory_ != nullptr) ReleaseMemory();
}

void TAbDfOutputWindow::GrowMemory() {
  const int64_t made = cursor_ - buffer_;
  const int64_t flushed = flushed_ - buffer_;
  const int64_t checked = checked_ - buffer_;
  // The stream zeroes what it grows by: small steps first, so that a small
  // member costs little, then as much as was made, up to a chunk.
  const int64_t step = std::clamp<int64_t>(made, kFirstMemoryStep, kChunk);
  memory_->SetSize(memoryStart_ + made + step + kTail);
  buffer_ = memory_->Memory() + memoryStart_;
  cursor_ = buffer_ + made;
  flushed_ = buffer_ + flushed;
  checked_ = buffer_ + checked;
  flushPoint_ = cursor_ + step;
}

void TAbDfOutputWindow::ReleaseMemory() {
  const int64_t end = memoryStart_ + (cursor_ - buffer_);
  memory_->SetSize(end);
  memory_->SetPosition(end);
  memory_ = nullptr;
}

void TAbDfOutputWindow::PutLiteral(uint8_t byte) {
  *cursor_++ = byte;
  CheckStop();
  if (cursor_ >= flushPoint_) Slide();
}

void TAbDfOutputWindow::CopyMatch(int32_t length, int32_t distance) {
  // In pieces that the tail takes, each starting below the flush point.
  while (length > 0) {
    const int32_t piece = std::min(length, kMaxMatch);
    const uint8_t* from = cursor_ - distance;
    if (distance >= piece) {
      std::memcpy(cursor_, from, static_cast<size_t>(piece));
    } else {
      // Overlapping: the bytes just written repeat.
      for (int32_t i = 0; i < piece; ++i) cursor_[i] = from[i];
    }
    cursor_ += piece;
    length -= piece;
    CheckStop();
    if (cursor_ >= flushPoint_) Slide();
  }
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

void TAbDfOutputWindow::Checksum() {
  if (cursor_ <= checked_) return;
  const auto n = static_cast<size_t>(cursor_ - checked_);
  checksum_ = useCrc_ ? UpdateCrc32(checksum_, checked_, n) : UpdateAdler32(checksum_, checked_, n);
  checked_ = cursor_;
}

void TAbDfOutputWindow::WriteOut() {
  Checksum();
  // Mark the bytes as written before writing, so that a failing destination
  // is not written the same bytes twice by the flush after a failure.
  const uint8_t* from = flushed_;
  flushed_ = cursor_;
  if (cursor_ <= from) return;
  const auto n = static_cast<int32_t>(cursor_ - from);
  if (!testOnly_ && memory_ == nullptr) dest_.WriteBuffer(from, n);
  produced_ += n;
}

void TAbDfOutputWindow::Slide() {
  WriteOut();
  if (memory_ != nullptr) {
    GrowMemory();
    return;
  }
  const auto keep = static_cast<size_t>(std::min<int64_t>(cursor_ - buffer_, history_));
  std::memmove(buffer_, cursor_ - keep, keep);
  cursor_ = buffer_ + keep;
  flushed_ = cursor_;
  checked_ = cursor_;
}

void TAbDfOutputWindow::FlushAll() {
  WriteOut();
  if (memory_ != nullptr) ReleaseMemory();
}

uint32_t TAbDfOutputWindow::FinalChecksum() {
  FlushAll();
  return useCrc_ ? ~checksum_ : checksum_;
}

int64_t TAbDfOutputWindow::BytesProduced() const {
  return produced_ + (cursor_ - flushed_);
}

}  // namespace ab
