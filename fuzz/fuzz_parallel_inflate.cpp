// The parallel Inflate against the sequential decoder on arbitrary bytes: the
// first byte chooses the threads, the chunk length, the chunk's capacity and
// Deflate or Deflate64, the rest is the stream. Both accept it with the same
// bytes and CRC-32, or both refuse it, the parallel decoder having handed on
// only a beginning of what the sequential one made before its failure.
// Output past a cap ends both (the harness's bound, not a decoder's).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "fuzz_capped_stream.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbDfParallel.h"
#include "zip/engine/AbExcept.h"

namespace {

constexpr int64_t kOutputCap = 1 << 20;

using TCappedStream = TCappedMemoryStream<kOutputCap>;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t config = data[0];
  const std::vector<uint8_t> stream(data + 1, data + size);
  const bool deflate64 = (config & 0x80) != 0;

  rtl::TMemoryStream source(stream);
  TCappedStream sequential;
  ab::TAbDeflateHelper helper;
  helper.SetDecodeFlags(deflate64 ? ab::dfcDeflate64 : 0);
  bool sequentialOk = false;
  uint32_t sequentialCrc = 0;
  try {
    sequentialCrc = ab::Inflate(&source, &sequential, &helper);
    sequentialOk = true;
  } catch (const ab::EAbInflateError&) {
  } catch (const rtl::EWriteError&) {
  }
  if (sequential.refused) return 0;

  static constexpr size_t kChunkInputs[4] = {16, 64, 300, 4096};
  static constexpr size_t kChunkOutputs[4] = {1024, 4096, 40000, 1 << 18};
  ab::TAbParallelInflateOptions options;
  options.threads = 1 + (config & 3);
  options.chunkInput = kChunkInputs[(config >> 2) & 3];
  options.chunkOutput = kChunkOutputs[(config >> 4) & 3];
  options.deflate64 = deflate64;
  options.outputLimit = kOutputCap;
  std::vector<uint8_t> parallel;
  bool parallelOk = false;
  uint32_t parallelCrc = 0;
  try {
    parallelCrc = ab::ParallelInflate(stream.data(), stream.size(), options,
                                      [&](const uint8_t* bytes, size_t count) {
                                        parallel.insert(parallel.end(), bytes, bytes + count);
                                      })
                      .crc;
    parallelOk = true;
  } catch (const ab::EAbInflateError&) {
  }
  const std::vector<uint8_t>& expected = sequential.Bytes();
  if (parallelOk != sequentialOk) std::abort();
  if (sequentialOk && (parallel != expected || parallelCrc != sequentialCrc)) std::abort();
  if (parallel.size() > expected.size() ||
      !std::equal(parallel.begin(), parallel.end(), expected.begin()))
    std::abort();
  return 0;
}
