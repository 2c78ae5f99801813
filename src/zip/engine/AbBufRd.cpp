#include "zip/engine/AbBufRd.h"

#include <algorithm>
#include <cstring>

#include "zip/engine/AbUtils.h"

namespace ab {

TAbBufferedReader::TAbBufferedReader(rtl::TStream& source)
    : source_(source),
      block_(std::make_unique_for_overwrite<uint8_t[]>(kBlockSize)),
      position_(source.Position()),
      size_(source.Size()) {}

int32_t TAbBufferedReader::Read(void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count && position_ < size_) {
    if (position_ < blockStart_ || position_ >= blockStart_ + blockLength_) {
      // A read as large as a block goes straight to the source.
      if (count - done >= kBlockSize) {
        if (source_.Seek(position_, rtl::soBeginning) != position_) break;
        const int32_t n = source_.Read(out + done, count - done);
        if (n <= 0) break;
        done += n;
        position_ += n;
        continue;
      }
      blockStart_ = position_;
      blockLength_ = 0;
      if (source_.Seek(position_, rtl::soBeginning) != position_) break;
      const int32_t n = source_.Read(block_.get(), kBlockSize);
      if (n <= 0) break;
      blockLength_ = n;
    }
    const auto at = static_cast<size_t>(position_ - blockStart_);
    const auto n = static_cast<int32_t>(
        std::min<int64_t>(count - done, blockStart_ + blockLength_ - position_));
    std::memcpy(out + done, block_.get() + at, static_cast<size_t>(n));
    done += n;
    position_ += n;
  }
  return done;
}

int64_t TAbBufferedReader::Seek(int64_t offset, int origin) {
  const int64_t target = SeekTarget(offset, origin, position_, size_);
  if (target >= 0) position_ = target;
  return target;
}

}  // namespace ab
