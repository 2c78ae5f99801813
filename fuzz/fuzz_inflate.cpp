// Decodes arbitrary bytes as plain Deflate and as Deflate64. Plain Deflate
// must agree with zlib: both refuse the input, or both produce the same
// bytes and stop at the same input byte. Where the output stays small, a
// plain memory stream, which the decoder writes into in place, must end
// with what the capped stream got. Nothing may crash or touch memory
// outside its buffers (the sanitizers watch that).
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <type_traits>
#include <vector>

#include "fuzz_capped_stream.h"
#include "zip/engine/AbDfDec.h"

namespace {

constexpr int64_t kOutputCap = 1 << 18;

using TCappedStream = TCappedMemoryStream<kOutputCap>;

struct Outcome {
  bool ok = false;
  bool full = false;  // the capped stream refused to grow
  std::vector<uint8_t> output;
  int64_t used = 0;
  uint32_t crc = 0;
};

template <typename Destination>
Outcome Ours(const uint8_t* data, size_t size, uint32_t flags) {
  Outcome result;
  rtl::TMemoryStream source(std::vector<uint8_t>(data, data + size));
  Destination dest;
  ab::TAbDeflateHelper options;
  options.SetDecodeFlags(flags);
  try {
    result.crc = ab::Inflate(&source, &dest, &options);
    result.ok = true;
  } catch (const ab::EAbInflateError&) {
  } catch (const rtl::EWriteError&) {
    result.full = true;
  }
  if constexpr (std::is_same_v<Destination, TCappedStream>)
    result.full = result.full || dest.refused;
  result.output = dest.Bytes();
  result.used = source.Position();
  if (result.used < 0 || result.used > static_cast<int64_t>(size)) std::abort();
  if (result.ok && options.InputUsed() != result.used) std::abort();
  return result;
}

Outcome Zlib(const uint8_t* data, size_t size) {
  Outcome result;
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  z.next_in = const_cast<uint8_t*>(data);
  z.avail_in = static_cast<uInt>(size);
  static uint8_t chunk[65536];
  int status;
  do {
    z.next_out = chunk;
    z.avail_out = sizeof chunk;
    status = inflate(&z, Z_NO_FLUSH);
    result.output.insert(result.output.end(), chunk, z.next_out);
  } while (status == Z_OK && static_cast<int64_t>(result.output.size()) <= kOutputCap &&
           (z.avail_in > 0 || z.avail_out == 0));
  result.ok = status == Z_STREAM_END && static_cast<int64_t>(result.output.size()) <= kOutputCap;
  result.used = static_cast<int64_t>(z.total_in);
  inflateEnd(&z);
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Outcome ours = Ours<TCappedStream>(data, size, 0);
  const Outcome zlib = Zlib(data, size);
  // Output beyond the cap is an outcome of the harness, not of the decoders.
  const bool capped = static_cast<int64_t>(zlib.output.size()) > kOutputCap - 65536 ||
                      static_cast<int64_t>(ours.output.size()) > kOutputCap - 65536;
  if (!capped) {
    if (ours.ok != zlib.ok) std::abort();
    if (ours.ok) {
      if (ours.output != zlib.output) std::abort();
      if (ours.used != zlib.used) std::abort();
      if (ours.crc != crc32(0, ours.output.data(), static_cast<uInt>(ours.output.size())))
        std::abort();
    }
  }
  const Outcome wide = Ours<TCappedStream>(data, size, ab::dfcDeflate64);
  if (wide.ok && wide.crc != crc32(0, wide.output.data(), static_cast<uInt>(wide.output.size())))
    std::abort();
  for (const auto& [capped, flags] : {std::pair{&ours, 0u}, std::pair{&wide, ab::dfcDeflate64}}) {
    if (capped->full) continue;
    const Outcome inPlace = Ours<rtl::TMemoryStream>(data, size, flags);
    if (inPlace.ok != capped->ok || inPlace.output != capped->output ||
        inPlace.used != capped->used || inPlace.crc != capped->crc)
      std::abort();
  }
  return 0;
}
