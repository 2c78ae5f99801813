// A read-only view of part of an open file in memory, for a decoder that
// wants a member's compressed bytes as one span without reading them all in:
// the system reads the pages as they are touched, and lets go of those the
// reader says it is done with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "os/os.h"

namespace os {

class FileMapping {
 public:
  // The size bytes at offset of the file, or nothing when the system cannot
  // map them (a size the address space cannot hold, a file that is not a
  // disk file). The file may be closed once the mapping is made.
  static std::unique_ptr<FileMapping> Open(FileHandle file, uint64_t offset, uint64_t size);
  ~FileMapping();
  FileMapping(const FileMapping&) = delete;
  FileMapping& operator=(const FileMapping&) = delete;

  const uint8_t* Data() const { return data_; }
  size_t Size() const { return size_; }
  // The first count bytes will not be read again: their pages may leave the
  // process's memory (a later read would still see the file's bytes).
  void Release(size_t count);

 private:
  FileMapping(void* view, size_t viewSize, const uint8_t* data, size_t size, intptr_t handle)
      : view_(view), viewSize_(viewSize), data_(data), size_(size), handle_(handle) {}

  void* view_;
  size_t viewSize_;
  const uint8_t* data_;
  size_t size_;
  [[maybe_unused]] intptr_t handle_;  // the mapping object, where the system has one
  size_t released_ = 0;
};

}  // namespace os
