// Zstandard (methods 93 and 20) through libzstd: one or more frames filling
// the member's span.
#include <zstd.h>
#include <zstd_errors.h>

#include <vector>

#include "zip/methods/Decoders.h"

namespace zip::methods {

namespace {

class ZstdStream {
 public:
  ZstdStream() : stream_(ZSTD_createDStream()) {
    if (stream_ == nullptr) throw std::bad_alloc();
  }
  ~ZstdStream() { ZSTD_freeDStream(stream_); }
  ZstdStream(const ZstdStream&) = delete;
  ZstdStream& operator=(const ZstdStream&) = delete;
  ZSTD_DStream* Get() { return stream_; }

 private:
  ZSTD_DStream* stream_;
};

}  // namespace

void DecodeZstd(const MethodEntry&, MethodInput& input, Sink& output) {
  ZstdStream stream;
  std::vector<uint8_t> in(kInputBuffer);
  std::vector<uint8_t> out(kOutputBuffer);
  // What the frame still wants: 0 between frames.
  size_t wanted = 1;
  bool anyFrame = false;
  for (;;) {
    const size_t got = input.Read(in.data(), in.size());
    if (got == 0) break;
    ZSTD_inBuffer chunk{in.data(), got, 0};
    while (chunk.pos < chunk.size) {
      ZSTD_outBuffer produced{out.data(), out.size(), 0};
      wanted = ZSTD_decompressStream(stream.Get(), &produced, &chunk);
      if (ZSTD_isError(wanted)) {
        if (ZSTD_getErrorCode(wanted) == ZSTD_error_frameParameter_windowTooLarge)
          throw Error(Failure::kUnsupported,
                      "the Zstandard data needs a window above the 128 MB this reader allows");
        Damaged(std::string("the Zstandard data is damaged (") + ZSTD_getErrorName(wanted) + ")");
      }
      output.Write(out.data(), produced.pos);
      anyFrame = true;
    }
  }
  // Output still held inside the decoder.
  for (;;) {
    ZSTD_inBuffer none{nullptr, 0, 0};
    ZSTD_outBuffer produced{out.data(), out.size(), 0};
    if (wanted == 0 || !anyFrame) break;
    wanted = ZSTD_decompressStream(stream.Get(), &produced, &none);
    if (ZSTD_isError(wanted)) Damaged("the Zstandard data is damaged");
    output.Write(out.data(), produced.pos);
    if (produced.pos == 0) break;
  }
  if (!anyFrame || wanted != 0) Damaged("the Zstandard data ends inside a frame");
}

}  // namespace zip::methods
