// The output history of the legacy decoders: a write-once stream that keeps
// the most recent 32 to 40 KB of what was written in memory, so that it can be
// read back, and hands every byte to the underlying stream exactly once.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "rtl/Stream.h"

namespace ab {

class TabSlidingWindowStream : public rtl::TStream {
 public:
  static constexpr int32_t kChunkSize = 8192;
  static constexpr int32_t kChunkCount = 5;
  static constexpr int32_t kMaxTransfer = 32768;

  // Positions the underlying stream (not owned) at 0.
  explicit TabSlidingWindowStream(rtl::TStream& underlying);
  // Writes what is still held, as Release does, but swallows its failure:
  // call Release first wherever a failure must be seen.
  ~TabSlidingWindowStream() override;

  // Appends up to 32,768 bytes; the position must be at the end.
  int32_t Write(const void* buffer, int32_t count) override;
  // Reads back up to 32,768 bytes from the window.
  int32_t Read(void* buffer, int32_t count) override;
  // Moves within [window start, size]; anything else raises.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

  // Writes the chunks still held to the underlying stream (once).
  void Release();

 private:
  void Shift();
  void WriteChunk(int32_t k);
  int32_t Position32() const { return windowStart_ + relativePosition_; }

  std::array<std::unique_ptr<uint8_t[]>, kChunkCount> chunks_;
  int32_t windowStart_ = -kChunkSize * (kChunkCount - 1);
  int32_t chunk4Used_ = 0;
  int32_t currentChunk_ = kChunkCount - 1;
  int32_t chunkOffset_ = 0;
  int32_t relativePosition_ = kChunkSize * (kChunkCount - 1);
  int32_t size_ = 0;
  bool dirty_ = false;
  rtl::TStream& underlying_;
};

}  // namespace ab
