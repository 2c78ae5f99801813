// The packer's encoder where libdeflate is available.
#include <libdeflate.h>

#include <memory>
#include <stdexcept>

#include "Compressor.h"

namespace mksfx {

namespace {

constexpr int kLevel = 12;  // libdeflate's slowest and strongest

struct FreeCompressor {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

}  // namespace

Bytes CompressRaw(const Bytes& data) {
  const std::unique_ptr<libdeflate_compressor, FreeCompressor> compressor(
      libdeflate_alloc_compressor(kLevel));
  if (!compressor) throw std::runtime_error("libdeflate: no compressor");
  Bytes out(libdeflate_deflate_compress_bound(compressor.get(), data.size()));
  const size_t size = libdeflate_deflate_compress(compressor.get(), data.data(), data.size(),
                                                  out.data(), out.size());
  if (size == 0) throw std::runtime_error("libdeflate: the output did not fit its bound");
  out.resize(size);
  return out;
}

const char* EncoderName() {
  return "libdeflate " LIBDEFLATE_VERSION_STRING ", level 12";
}

}  // namespace mksfx
