// An entry pulled a buffer at a time into the caller's own memory, for a
// caller that reads rather than hands out a sink: an HTTP response, another
// format's writer. The decoders push what they make; the stream runs one on
// a thread of its own, a few blocks ahead of the reads, and hands its bytes
// over in order, with every check of a read (declared size, CRC-32) done.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "zip/Archive.h"

namespace zip {

class EntryStream {
 public:
  // Starts decoding; the archive must outlive the stream. A password
  // callback in options is called on the decoding thread.
  EntryStream(const Archive& archive, const Entry& entry, ReadOptions options = {});
  // Stops the decoding where it is when the caller stops reading early.
  ~EntryStream();
  EntryStream(const EntryStream&) = delete;
  EntryStream& operator=(const EntryStream&) = delete;

  // Up to count bytes; 0 once the entry is read whole and checked. A failed
  // read throws its zip::Error after the bytes made before the failure.
  size_t Read(void* buffer, size_t count);

 private:
  struct Pipe;
  std::shared_ptr<Pipe> pipe_;
};

}  // namespace zip
