// A read-only view of another stream that reads it in large blocks: the
// catalogue and the local headers are read field by field, and a system call
// for every field made a directory of 70,000 entries cost a million calls.
#pragma once

#include <cstdint>
#include <memory>

#include "rtl/Stream.h"

namespace ab {

class TAbBufferedReader : public rtl::TStream {
 public:
  static constexpr int32_t kBlockSize = 64 * 1024;

  // Starts at the source's position; the source is not owned, and its own
  // position is left wherever the last block read put it.
  explicit TAbBufferedReader(rtl::TStream& source);

  int32_t Read(void* buffer, int32_t count) override;
  // The reader writes nothing.
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

 private:
  rtl::TStream& source_;
  std::unique_ptr<uint8_t[]> block_;
  int64_t blockStart_ = 0;  // file position of block_[0]
  int32_t blockLength_ = 0;
  int64_t position_ = 0;
  int64_t size_ = 0;
};

}  // namespace ab
