// LZMA (method 14) and XZ (method 95) through liblzma. A ZIP's LZMA member
// is the classic .lzma stream with its own small header: it is decoded as
// one, its 13-byte header built from the member's properties and size.
#include <lzma.h>

#include <cstring>
#include <vector>

#include "zip/methods/Decoders.h"

namespace zip::methods {

namespace {

// No dictionary above this: the largest 7-Zip offers is 1.5 GB, and a
// hostile header should not make the reader reserve more.
constexpr uint64_t kMemoryLimit = uint64_t{1600} << 20;
constexpr uint16_t kEndMarkerFlag = 0x0002;

class LzmaStream {
 public:
  LzmaStream() = default;
  ~LzmaStream() { lzma_end(&stream_); }
  LzmaStream(const LzmaStream&) = delete;
  LzmaStream& operator=(const LzmaStream&) = delete;
  lzma_stream& operator*() { return stream_; }

 private:
  lzma_stream stream_ = LZMA_STREAM_INIT;
};

[[noreturn]] void Fail(lzma_ret result, const char* method) {
  if (result == LZMA_MEM_ERROR) throw std::bad_alloc();
  if (result == LZMA_MEMLIMIT_ERROR)
    throw Error(Failure::kUnsupported,
                std::string("the ") + method + " data needs a dictionary above 1.6 GB");
  if (result == LZMA_OPTIONS_ERROR)
    throw Error(Failure::kUnsupported, std::string("the ") + method +
                                           " data uses options "
                                           "this reader does not know");
  Damaged(std::string("the ") + method + " data is damaged");
}

// Runs the decoder over prefix and then the input until its stream ends.
void Run(lzma_stream& stream, const uint8_t* prefix, size_t prefixLength, MethodInput& input,
         Sink& output, const char* method) {
  std::vector<uint8_t> in(kInputBuffer);
  std::vector<uint8_t> out(kOutputBuffer);
  stream.next_in = prefix;
  stream.avail_in = prefixLength;
  bool inputDone = false;
  for (;;) {
    if (stream.avail_in == 0 && !inputDone) {
      stream.next_in = in.data();
      stream.avail_in = input.Read(in.data(), in.size());
      inputDone = stream.avail_in == 0;
    }
    stream.next_out = out.data();
    stream.avail_out = out.size();
    const lzma_ret result = lzma_code(&stream, inputDone ? LZMA_FINISH : LZMA_RUN);
    output.Write(out.data(), out.size() - stream.avail_out);
    if (result == LZMA_STREAM_END) return;
    if (result == LZMA_BUF_ERROR && inputDone)
      Damaged(std::string("the ") + method + " data ends before its end of stream");
    if (result != LZMA_OK) Fail(result, method);
  }
}

size_t ReadSome(MethodInput& input, uint8_t* buffer, size_t count) {
  size_t done = 0;
  while (done < count) {
    const size_t n = input.Read(buffer + done, count - done);
    if (n == 0) break;
    done += n;
  }
  return done;
}

}  // namespace

void DecodeLzma(const MethodEntry& entry, MethodInput& input, Sink& output) {
  // Version (2 bytes), the properties' size (2, always 5), the properties.
  uint8_t header[9];
  if (ReadSome(input, header, sizeof header) != sizeof header)
    Damaged("the LZMA data ends inside its header");
  if (header[2] != 5 || header[3] != 0) Damaged("the LZMA header's properties are not 5 bytes");
  // The .lzma header: properties, then the size, or all ones when the data
  // ends with a marker.
  uint8_t alone[13];
  std::memcpy(alone, header + 4, 5);
  const uint64_t size = (entry.flags & kEndMarkerFlag) != 0 ? UINT64_MAX : entry.size;
  for (int i = 0; i < 8; ++i) alone[5 + i] = static_cast<uint8_t>(size >> (8 * i));
  LzmaStream stream;
  const lzma_ret init = lzma_alone_decoder(&*stream, kMemoryLimit);
  if (init != LZMA_OK) Fail(init, "LZMA");
  Run(*stream, alone, sizeof alone, input, output, "LZMA");
}

void DecodeXz(const MethodEntry&, MethodInput& input, Sink& output) {
  LzmaStream stream;
  const lzma_ret init = lzma_stream_decoder(&*stream, kMemoryLimit, 0);
  if (init != LZMA_OK) Fail(init, "XZ");
  Run(*stream, nullptr, 0, input, output, "XZ");
}

}  // namespace zip::methods
