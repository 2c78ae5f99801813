// Where an entry's decoded bytes go. A sink only takes bytes: it is never
// read from or moved about in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zip {

class Sink {
 public:
  virtual ~Sink() = default;
  // Takes all count bytes, or throws; what a sink throws reaches the caller
  // of the read as it was thrown.
  virtual void Write(const uint8_t* bytes, size_t count) = 0;
};

// Counts what it is given and keeps none of it.
class CountingSink final : public Sink {
 public:
  void Write(const uint8_t*, size_t count) override { count_ += count; }
  uint64_t Count() const { return count_; }

 private:
  uint64_t count_ = 0;
};

// Keeps everything in memory.
class MemorySink final : public Sink {
 public:
  void Write(const uint8_t* bytes, size_t count) override {
    bytes_.insert(bytes_.end(), bytes, bytes + count);
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::string Text() const { return {bytes_.begin(), bytes_.end()}; }

 private:
  std::vector<uint8_t> bytes_;
};

}  // namespace zip
