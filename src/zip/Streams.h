// The library's sources and sinks as the decoders' streams. The decoders
// were written against one stream type that reads, writes and seeks; these
// bridges give them only the half each side has.
#pragma once

#include <cstdint>
#include <exception>

#include "rtl/Stream.h"
#include "zip/Sink.h"
#include "zip/Source.h"
#include "zip/engine/AbMemberChain.h"

namespace zip {

// Reads the source at a position of its own: each view may stand anywhere,
// whatever other threads read.
class SourceStream final : public rtl::TStream {
 public:
  explicit SourceStream(const Source& source);
  int32_t Read(void* buffer, int32_t count) override;
  // A source is never written.
  int32_t Write(const void*, int32_t) override { return 0; }
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }

 private:
  const Source& source_;
  int64_t size_;
  int64_t position_ = 0;
};

// Hands what the decoder writes to a sink (or, with none, only counts it).
// What the sink throws is kept, so that it reaches the caller unchanged
// whatever the decoder does with exceptions on the way.
class SinkStream final : public rtl::TStream {
 public:
  explicit SinkStream(Sink* sink) : sink_(sink) {}
  // The decoders never read their output back from the stream.
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override;
  // The decoders only ask where the output stands.
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return size_; }
  // What the sink threw, if it did.
  std::exception_ptr SinkFailure() const { return failure_; }

 private:
  Sink* sink_;
  int64_t size_ = 0;
  std::exception_ptr failure_;
};

// The source as the decoders map it, when it is a file; nullptr otherwise.
const ab::TAbSpanMapper* SpanMapperOf(const Source& source);

}  // namespace zip
