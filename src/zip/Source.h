// Where an archive's bytes come from: a random-access source that any number
// of threads may read at once, each read naming its own offset. A file, a
// block of memory or the running executable; a caller may bring its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zip {

class Source {
 public:
  virtual ~Source() = default;

  virtual uint64_t Size() const = 0;
  // Reads up to count bytes at offset into buffer and returns how many were
  // read: fewer only at the end of the source. Safe to call from several
  // threads at once. Throws zip::Error (kIo) when the system fails.
  virtual size_t ReadAt(uint64_t offset, void* buffer, size_t count) const = 0;
  // The bytes [offset, offset + count) as contiguous memory when the source
  // holds them so (a memory block), for decoders that want them whole;
  // nullptr otherwise.
  virtual const uint8_t* Contiguous(uint64_t offset, uint64_t count) const {
    (void)offset;
    (void)count;
    return nullptr;
  }
};

// The file at a UTF-8 path, read with positioned reads. Throws zip::Error
// (kIo) naming the path when it cannot be opened.
std::shared_ptr<const Source> OpenFile(const std::string& path);

// A block of memory the source keeps.
class MemorySource final : public Source {
 public:
  explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) const override;
  const uint8_t* Contiguous(uint64_t offset, uint64_t count) const override;

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace zip
