// The member path's use of the parallel Inflate: mapping, progress, output in
// pieces the streams take, and the exact diagnosis of a failure.
#include "zip/engine/AbUnzParallel.h"

#include <algorithm>
#include <memory>

#include "os/mapping.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbDfDec.h"
#include "zip/engine/AbDfParallel.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbUtils.h"

namespace ab {

namespace {

constexpr uint8_t kDeflate64Method = 9;

// Decodes the member once more on one thread, configured as InflateMember
// would decode it but into nothing, so that its failure is raised as that
// decoder names it.
void DiagnoseOnOneThread(const TAbMemberJob& job, rtl::TStream& stream, int64_t offset) {
  const bool testOnly = job.testOnly;
  stream.Seek(offset, rtl::soBeginning);
  TAbDeflateHelper helper;
  uint32_t flags = helper.DecodeFlags();
  if (testOnly) flags |= dfcTestOnly;
  if (job.header.Method() == kDeflate64Method) flags |= dfcDeflate64;
  helper.SetDecodeFlags(flags);
  const auto span = static_cast<int64_t>(job.facts.compressedSize);
  helper.SetInputSize(span);
  helper.SetInputLimit(span);
  TAbBitBucketStream nothing;
  TAbBoundedStream bounded(nothing, job.facts.uncompressedSize);
  Inflate(&stream, testOnly ? static_cast<rtl::TStream*>(&nothing) : &bounded, &helper);
  if (testOnly && static_cast<uint64_t>(helper.OutputMade()) > job.facts.uncompressedSize)
    throw EAbZipSizeExceeded();
}

}  // namespace

std::optional<uint32_t> InflateMemberInParallel(const TAbMemberJob& job,
                                                const TAbMemberSource& source,
                                                rtl::TStream& output) {
  const bool testOnly = job.testOnly;
  if (source.inflateThreads < 2 || source.mapper == nullptr ||
      !IsParallelInflateMember(job.header.Method(), job.header.IsEncrypted(),
                               job.facts.compressedSize))
    return std::nullopt;
  rtl::TStream* const file = &source.stream;
  const int64_t offset = file->Position();
  const int64_t fileSize = file->Size();
  const uint64_t span = job.facts.compressedSize;
  // A span that runs past the file is the one-thread decoder's to report.
  if (offset < 0 || fileSize < offset || span > static_cast<uint64_t>(fileSize - offset))
    return std::nullopt;
  const std::unique_ptr<os::FileMapping> mapping =
      source.mapper->Map(static_cast<uint64_t>(offset), span);
  if (!mapping) return std::nullopt;

  TAbParallelInflateOptions options;
  options.threads = source.inflateThreads;
  options.deflate64 = job.header.Method() == kDeflate64Method;
  options.outputLimit = job.facts.uncompressedSize;
  options.expectedOutput = job.facts.uncompressedSize;
  int32_t shown = -1;
  options.onInputDone = [&](size_t done) {
    mapping->Release(done);
    const int32_t percent =
        RoundedPercentage(static_cast<int64_t>(done), static_cast<int64_t>(span));
    if (!source.progress || percent == shown) return;
    shown = percent;
    bool abort = false;
    source.progress(static_cast<uint8_t>(percent), abort);
    if (abort) throw EAbAbortProgress();
  };
  TAbInflateSink sink;
  if (!testOnly) {
    sink = [&output](const uint8_t* bytes, size_t count) {
      while (count > 0) {
        const auto piece = static_cast<int32_t>(std::min<size_t>(count, size_t{1} << 30));
        output.WriteBuffer(bytes, piece);
        bytes += piece;
        count -= static_cast<size_t>(piece);
      }
    };
  }
  try {
    const TAbParallelInflateResult result =
        ParallelInflate(mapping->Data(), mapping->Size(), options, sink);
    file->Seek(offset + static_cast<int64_t>(result.inputUsed), rtl::soBeginning);
    return result.crc;
  } catch (const EAbAbortProgress&) {
    // As the one-thread decoder: an abort ends the decode with no checksum.
    return 0;
  } catch (const EAbInflateError&) {
    DiagnoseOnOneThread(job, source.stream, offset);
    throw;
  } catch (const EAbZipSizeExceeded&) {
    DiagnoseOnOneThread(job, source.stream, offset);
    throw;
  }
}

}  // namespace ab
