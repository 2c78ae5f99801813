// Inflate of one raw Deflate (or Deflate64) stream on several threads: the
// stream lies whole in memory, and its output goes, in order, to a callback.
// The result is always the one the sequential decoder gives; see the
// opening comment of AbDfParallel.cpp for how.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace ab {

struct TAbParallelInflateOptions {
  // Worker threads; the calling thread puts their output together.
  unsigned threads = 2;
  bool deflate64 = false;
  // More output than this raises EAbZipSizeExceeded; the callback never
  // gets a byte past it.
  uint64_t outputLimit = UINT64_MAX;
  // The size the output is expected to have (a member's declared size), from
  // which the chunk length is chosen; 0 when not known.
  uint64_t expectedOutput = 0;
  // Compressed bytes per chunk; 0 chooses them from expectedOutput.
  size_t chunkInput = 0;
  // The most symbols a chunk decoded ahead holds before it waits for its
  // turn (its memory is about twice that in bytes at most); never more than
  // the memory bound allows, which is what the default asks for: a chunk
  // has fixed costs (finding a block start, resolving its window), and
  // longer chunks leave a smaller share of their output to be decoded with
  // markers.
  size_t chunkOutput = SIZE_MAX;
  // Called with an offset before which the input will not be read again,
  // so that a caller may let its pages go.
  std::function<void(size_t offset)> onInputDone;
};

struct TAbParallelInflateResult {
  uint64_t size = 0;
  uint32_t crc = 0;      // the CRC-32 of the output
  size_t inputUsed = 0;  // bytes up to the end of the final block
  size_t chunks = 0;     // chunks the input was cut into
  size_t joined = 0;     // of which decoded ahead and used as they were
  // Output decoded ahead as 16-bit symbols (while markers could remain, or
  // until the real window came), and output the joining thread decoded
  // itself, in order.
  uint64_t wideSymbols = 0;
  uint64_t decodedInOrder = 0;
};

using TAbInflateSink = std::function<void(const uint8_t* bytes, size_t count)>;

// Decodes the stream at the start of the size bytes at data, which must hold
// all of it: no byte past them is ever read. Corrupt data raises
// EAbInflateError, as the sequential decoder would find it (the output handed
// on before is that decoder's too); an exception from the sink passes
// unchanged. An empty sink only counts and checksums.
TAbParallelInflateResult ParallelInflate(const uint8_t* data, size_t size,
                                         const TAbParallelInflateOptions& options,
                                         const TAbInflateSink& sink);

}  // namespace ab
