// File views through mmap; released pages are dropped with madvise.
#include "os/mapping.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>

namespace os {

std::unique_ptr<FileMapping> FileMapping::Open(FileHandle file, uint64_t offset, uint64_t size) {
  if (!file.Valid() || size == 0) return nullptr;
  const auto page = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
  const uint64_t start = offset / page * page;
  const uint64_t viewSize = offset - start + size;
  if (viewSize > SIZE_MAX || start > static_cast<uint64_t>(INT64_MAX)) return nullptr;
  void* view = ::mmap(nullptr, static_cast<size_t>(viewSize), PROT_READ, MAP_PRIVATE,
                      static_cast<int>(file.value), static_cast<off_t>(start));
  if (view == MAP_FAILED) return nullptr;
  // Read once from front to back: the system may read ahead further.
  ::madvise(view, static_cast<size_t>(viewSize), MADV_SEQUENTIAL);
  const auto* data = static_cast<const uint8_t*>(view) + (offset - start);
  return std::unique_ptr<FileMapping>(
      new FileMapping(view, static_cast<size_t>(viewSize), data, static_cast<size_t>(size), -1));
}

FileMapping::~FileMapping() {
  ::munmap(view_, viewSize_);
}

void FileMapping::Release(size_t count) {
  const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  const size_t end =
      std::min(count, size_) + static_cast<size_t>(data_ - static_cast<uint8_t*>(view_));
  const size_t upTo = end / page * page;
  if (upTo <= released_) return;
  ::madvise(static_cast<uint8_t*>(view_) + released_, upTo - released_, MADV_DONTNEED);
  released_ = upTo;
}

}  // namespace os
