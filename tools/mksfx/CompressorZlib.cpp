// The packer's encoder where libdeflate is not available: zlib at its
// strongest setting (level 9, the largest window and memory level).
#include <zlib.h>

#include <stdexcept>

#include "Compressor.h"

namespace mksfx {

Bytes CompressRaw(const Bytes& data) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("zlib: no compressor");
  Bytes out(deflateBound(&stream, static_cast<uLong>(data.size())));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  if (result != Z_STREAM_END) throw std::runtime_error("zlib: the output did not fit its bound");
  return out;
}

const char* EncoderName() {
  return "zlib " ZLIB_VERSION ", level 9";
}

}  // namespace mksfx
