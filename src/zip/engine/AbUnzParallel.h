// One large Deflate or Deflate64 member decoded on several threads, for a
// caller that allows them (TAbMemberSource::inflateThreads) and can map the
// archive's bytes (TAbMemberSource::mapper): its compressed span is mapped
// into memory and handed whole to the parallel Inflate, whose output goes to
// the member's output in order.
#pragma once

#include <cstdint>
#include <optional>

#include "rtl/Stream.h"
#include "zip/engine/AbMemberChain.h"

namespace ab {

// Members with less compressed data than this stay on one thread: below it,
// starting the workers and the chunks that guess in vain cost about what the
// second thread gains (bench_parallel_inflate: two threads start to pay near
// 2 MB of compressed text, and gain about a tenth at 4 MB; the margin is
// left for a machine whose other work takes a share of the cores).
constexpr uint64_t kParallelInflateFrom = uint64_t{4} << 20;

// Whether a member is one for several threads by its directory entry: large,
// Deflate or Deflate64, and not encrypted.
constexpr bool IsParallelInflateMember(uint16_t method, bool encrypted, uint64_t compressedSize) {
  return !encrypted && (method == 8 || method == 9) && compressedSize >= kParallelInflateFrom;
}

// Decodes the unencrypted member whose data the source's stream stands at
// into output, and returns the CRC-32; or returns nothing, having read and
// written nothing, when the member is not one for several threads (too
// small, one thread allowed, no way to map the source, a span the address
// space cannot map). Failures are those of the one-thread decoder on the
// same data: a corrupt or oversized member is decoded again on one thread,
// into nothing, to name its fault exactly as that decoder does.
std::optional<uint32_t> InflateMemberInParallel(const TAbMemberJob& job,
                                                const TAbMemberSource& source,
                                                rtl::TStream& output);

}  // namespace ab
