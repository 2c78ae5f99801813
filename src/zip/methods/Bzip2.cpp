// bzip2 (method 12) through libbz2, a block of input and of output at a time.
#include <bzlib.h>

#include <vector>

#include "zip/methods/Decoders.h"

namespace zip::methods {

namespace {

class Bzip2Stream {
 public:
  Bzip2Stream() {
    if (BZ2_bzDecompressInit(&stream_, 0, 0) != BZ_OK) throw std::bad_alloc();
  }
  ~Bzip2Stream() { BZ2_bzDecompressEnd(&stream_); }
  Bzip2Stream(const Bzip2Stream&) = delete;
  Bzip2Stream& operator=(const Bzip2Stream&) = delete;
  bz_stream& operator*() { return stream_; }

 private:
  bz_stream stream_{};
};

}  // namespace

void DecodeBzip2(const MethodEntry&, MethodInput& input, Sink& output) {
  Bzip2Stream owner;
  bz_stream& stream = *owner;
  std::vector<char> in(kInputBuffer);
  std::vector<char> out(kOutputBuffer);
  for (;;) {
    if (stream.avail_in == 0) {
      stream.next_in = in.data();
      stream.avail_in =
          static_cast<unsigned>(input.Read(reinterpret_cast<uint8_t*>(in.data()), in.size()));
    }
    const bool inputLeft = stream.avail_in > 0;
    stream.next_out = out.data();
    stream.avail_out = static_cast<unsigned>(out.size());
    const int result = BZ2_bzDecompress(&stream);
    output.Write(reinterpret_cast<const uint8_t*>(out.data()), out.size() - stream.avail_out);
    if (result == BZ_STREAM_END) return;
    if (result == BZ_MEM_ERROR) throw std::bad_alloc();
    if (result != BZ_OK) Damaged("the bzip2 data is damaged");
    if (!inputLeft && stream.avail_out == out.size())
      Damaged("the bzip2 data ends before its end of stream");
  }
}

}  // namespace zip::methods
