// File views through CreateFileMapping and MapViewOfFile. Released pages
// leave the working set by VirtualUnlock, which trims pages that were never
// locked (and says so with ERROR_NOT_LOCKED).
#include "os/mapping.h"

#include <windows.h>

#include <algorithm>

namespace os {

std::unique_ptr<FileMapping> FileMapping::Open(FileHandle file, uint64_t offset, uint64_t size) {
  if (!file.Valid() || size == 0) return nullptr;
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  const uint64_t granularity = system.dwAllocationGranularity;
  const uint64_t start = offset / granularity * granularity;
  const uint64_t viewSize = offset - start + size;
  if (viewSize > SIZE_MAX) return nullptr;
  HANDLE mapping = ::CreateFileMappingW(reinterpret_cast<HANDLE>(file.value), nullptr,
                                        PAGE_READONLY, 0, 0, nullptr);
  if (mapping == nullptr) return nullptr;
  void* view = ::MapViewOfFile(mapping, FILE_MAP_READ, static_cast<DWORD>(start >> 32),
                               static_cast<DWORD>(start), static_cast<SIZE_T>(viewSize));
  if (view == nullptr) {
    ::CloseHandle(mapping);
    return nullptr;
  }
  const auto* data = static_cast<const uint8_t*>(view) + (offset - start);
  return std::unique_ptr<FileMapping>(new FileMapping(view, static_cast<size_t>(viewSize), data,
                                                      static_cast<size_t>(size),
                                                      reinterpret_cast<intptr_t>(mapping)));
}

FileMapping::~FileMapping() {
  ::UnmapViewOfFile(view_);
  ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

void FileMapping::Release(size_t count) {
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  const size_t page = system.dwPageSize;
  const size_t end =
      std::min(count, size_) + static_cast<size_t>(data_ - static_cast<uint8_t*>(view_));
  const size_t upTo = end / page * page;
  if (upTo <= released_) return;
  ::VirtualUnlock(static_cast<uint8_t*>(view_) + released_, upTo - released_);
  released_ = upTo;
}

}  // namespace os
