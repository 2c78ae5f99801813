#include "zip/Source.h"

#include <algorithm>
#include <cstring>

#include "os/fs.h"
#include "os/os.h"
#include "zip/Error.h"
#include "zip/Streams.h"

namespace zip {

namespace {

// A file also maps its bytes, for the decoders that take a member's data
// whole.
class FileSource final : public Source, public ab::TAbSpanMapper {
 public:
  FileSource(os::FileHandle handle, uint64_t size, std::string path)
      : handle_(handle), size_(size), path_(std::move(path)) {}
  ~FileSource() override { os::CloseFile(handle_); }
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  uint64_t Size() const override { return size_; }
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) const override {
    if (offset >= size_) return 0;
    count = static_cast<size_t>(std::min<uint64_t>(count, size_ - offset));
    const int64_t got = os::fs::ReadAt(handle_, offset, buffer, count);
    if (got < 0) throw Error(Failure::kIo, path_ + ": " + os::fs::LastErrorText());
    return static_cast<size_t>(got);
  }
  std::unique_ptr<os::FileMapping> Map(uint64_t offset, uint64_t size) const override {
    return os::FileMapping::Open(handle_, offset, size);
  }

 private:
  os::FileHandle handle_;
  uint64_t size_;
  std::string path_;
};

}  // namespace

const ab::TAbSpanMapper* SpanMapperOf(const Source& source) {
  return dynamic_cast<const FileSource*>(&source);
}

std::shared_ptr<const Source> OpenFile(const std::string& path) {
  const os::FileHandle handle = os::fs::OpenRead(path);
  if (!handle.Valid()) throw Error(Failure::kIo, path + ": " + os::fs::LastErrorText());
  const std::optional<uint64_t> size = os::fs::SizeOf(handle);
  if (!size) {
    const std::string why = os::fs::LastErrorText();
    os::CloseFile(handle);
    throw Error(Failure::kIo, path + ": " + why);
  }
  return std::make_shared<FileSource>(handle, *size, path);
}

size_t MemorySource::ReadAt(uint64_t offset, void* buffer, size_t count) const {
  if (offset >= bytes_.size()) return 0;
  const size_t n = static_cast<size_t>(std::min<uint64_t>(count, bytes_.size() - offset));
  std::memcpy(buffer, bytes_.data() + offset, n);
  return n;
}

const uint8_t* MemorySource::Contiguous(uint64_t offset, uint64_t count) const {
  if (offset > bytes_.size() || count > bytes_.size() - offset) return nullptr;
  return bytes_.data() + offset;
}

}  // namespace zip
