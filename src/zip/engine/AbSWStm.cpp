// The output history of the legacy decoders (see AbSWStm.h). Chunk 4 is the
// one being filled; chunks 0 to 3 hold the 32,768 bytes before it. A chunk is
// written out when it leaves the window or when the stream is released.
#include "zip/engine/AbSWStm.h"

#include <algorithm>
#include <cstring>

#include "rtl/Exception.h"

namespace ab {

namespace {
constexpr int32_t kLast = TabSlidingWindowStream::kChunkCount - 1;
}

TabSlidingWindowStream::TabSlidingWindowStream(rtl::TStream& underlying) : underlying_(underlying) {
  for (auto& chunk : chunks_) chunk = std::make_unique<uint8_t[]>(kChunkSize);  // zero-filled
  underlying_.Seek(0, rtl::soBeginning);
}

TabSlidingWindowStream::~TabSlidingWindowStream() {
  try {
    Release();
  } catch (...) {
    // A destructor cannot report; Release already raised for callers that asked.
  }
}

int32_t TabSlidingWindowStream::Write(const void* buffer, int32_t count) {
  if (Position32() != size_)
    throw rtl::Exception("TabSlidingWindowStream.Write: Not at end of stream");
  if (count <= 0) return 0;
  count = std::min(count, kMaxTransfer);
  const auto* from = static_cast<const uint8_t*>(buffer);
  int32_t left = count;
  while (left > 0) {
    if (chunkOffset_ == kChunkSize) Shift();
    const int32_t n = std::min(left, kChunkSize - chunkOffset_);
    std::memcpy(chunks_[kLast].get() + chunkOffset_, from, static_cast<size_t>(n));
    chunkOffset_ += n;
    from += n;
    left -= n;
  }
  chunk4Used_ = chunkOffset_;
  size_ += count;
  relativePosition_ = size_ - windowStart_;
  currentChunk_ = kLast;
  dirty_ = true;
  if (chunkOffset_ == kChunkSize) Shift();
  return count;
}

void TabSlidingWindowStream::Shift() {
  WriteChunk(0);
  std::rotate(chunks_.begin(), chunks_.begin() + 1, chunks_.end());
  windowStart_ += kChunkSize;
  chunkOffset_ = 0;
  chunk4Used_ = 0;
  currentChunk_ = kLast;
  relativePosition_ = size_ - windowStart_;
}

void TabSlidingWindowStream::WriteChunk(int32_t k) {
  const int32_t at = windowStart_ + kChunkSize * k;
  if (at < 0) return;  // the window's start lies before the stream's
  if (underlying_.Seek(at, rtl::soBeginning) != at)
    throw rtl::Exception("TabSlidingWindowStream.bsWriteChunk: seek failed");
  const int32_t n = k == kLast ? chunk4Used_ : kChunkSize;
  if (n > 0 && underlying_.Write(chunks_[k].get(), n) != n)
    throw rtl::Exception("TabSlidingWindowStream.bsWriteChunk: write failed");
}

int64_t TabSlidingWindowStream::Seek(int64_t offset, int origin) {
  int64_t target = 0;
  switch (origin) {
    case rtl::soBeginning:
      target = offset;
      break;
    case rtl::soCurrent:
      target = Position32() + offset;
      break;
    case rtl::soEnd:
      target = size_ + offset;
      break;
    default:
      throw rtl::Exception("TabSlidingWindowStream.Seek: invalid origin");
  }
  if (target < windowStart_ || target > size_)
    throw rtl::Exception("TabSlidingWindowStream.Seek: invalid new position");
  relativePosition_ = static_cast<int32_t>(target - windowStart_);
  currentChunk_ = relativePosition_ / kChunkSize;
  chunkOffset_ = relativePosition_ % kChunkSize;
  return target;
}

int32_t TabSlidingWindowStream::Read(void* buffer, int32_t count) {
  count = std::min({count, kMaxTransfer, size_ - Position32()});
  if (count <= 0) return 0;
  auto* to = static_cast<uint8_t*>(buffer);
  int32_t left = count;
  while (left > 0) {
    const int32_t n = std::min(left, kChunkSize - chunkOffset_);
    std::memcpy(to, chunks_[currentChunk_].get() + chunkOffset_, static_cast<size_t>(n));
    to += n;
    left -= n;
    chunkOffset_ += n;
    if (chunkOffset_ == kChunkSize && currentChunk_ < kLast) {
      ++currentChunk_;
      chunkOffset_ = 0;
    }
  }
  relativePosition_ += count;
  return count;
}

void TabSlidingWindowStream::Release() {
  if (!dirty_) return;
  dirty_ = false;  // each byte goes out once, even when a write below fails
  for (int32_t k = 0; k < kChunkCount; ++k) WriteChunk(k);
}

}  // namespace ab
