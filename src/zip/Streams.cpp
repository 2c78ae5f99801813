#include "zip/Streams.h"

#include "zip/engine/AbUtils.h"

namespace zip {

SourceStream::SourceStream(const Source& source)
    : source_(source), size_(static_cast<int64_t>(source.Size())) {}

int32_t SourceStream::Read(void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const size_t n =
      source_.ReadAt(static_cast<uint64_t>(position_), buffer, static_cast<size_t>(count));
  position_ += static_cast<int64_t>(n);
  return static_cast<int32_t>(n);
}

int64_t SourceStream::Seek(int64_t offset, int origin) {
  const int64_t target = ab::SeekTarget(offset, origin, position_, size_);
  if (target >= 0) position_ = target;
  return target;
}

int32_t SinkStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  if (sink_ != nullptr) {
    try {
      sink_->Write(static_cast<const uint8_t*>(buffer), static_cast<size_t>(count));
    } catch (...) {
      failure_ = std::current_exception();
      throw;
    }
  }
  size_ += count;
  return count;
}

int64_t SinkStream::Seek(int64_t offset, int origin) {
  if (offset == 0 && origin != rtl::soBeginning) return size_;
  return origin == rtl::soBeginning && offset == size_ ? size_ : -1;
}

}  // namespace zip
