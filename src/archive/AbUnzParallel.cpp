// The member path's use of the parallel Inflate: mapping, progress, output in
// pieces the streams take, and the exact diagnosis of a failure.
#include "archive/AbUnzParallel.h"

#include <algorithm>
#include <memory>

#include "archive/AbDfBase.h"
#include "archive/AbDfDec.h"
#include "archive/AbDfParallel.h"
#include "archive/AbExcept.h"
#include "archive/AbSpanSt.h"
#include "archive/AbUtils.h"
#include "os/mapping.h"

namespace ab {

namespace {

constexpr uint8_t kDeflate64Method = 9;

// Decodes the member once more on one thread, configured as InflateMember
// would decode it but into nothing, so that its failure is raised as that
// decoder names it.
void DiagnoseOnOneThread(const TAbZipItem& item, rtl::TStream& stream, int64_t offset,
                         bool testOnly) {
  stream.Seek(offset, rtl::soBeginning);
  TAbDeflateHelper helper;
  uint32_t flags = helper.DecodeFlags();
  if (testOnly) flags |= dfcTestOnly;
  if (item.CompressionMethod() == kDeflate64Method) flags |= dfcDeflate64;
  helper.SetDecodeFlags(flags);
  const auto span = static_cast<int64_t>(item.CompressedSize64());
  helper.SetInputSize(span);
  helper.SetInputLimit(span);
  TAbBitBucketStream nothing;
  TAbBoundedStream bounded(nothing, item.UncompressedSize64());
  Inflate(&stream, testOnly ? static_cast<rtl::TStream*>(&nothing) : &bounded, &helper);
  if (testOnly && static_cast<uint64_t>(helper.OutputMade()) > item.UncompressedSize64())
    throw EAbZipSizeExceeded();
}

// The span of the file the stream reads: through its handle, or, for the
// archive's own stream, through the file of its name opened once more (and
// only if it is still the same size).
std::unique_ptr<os::FileMapping> MapSpan(rtl::TStream& stream, int64_t offset, uint64_t span,
                                         int64_t fileSize) {
  if (auto* file = dynamic_cast<rtl::TFileStream*>(&stream))
    return os::FileMapping::Open(file->Handle(), static_cast<uint64_t>(offset), span);
  auto* archive = dynamic_cast<TAbSpanStream*>(&stream);
  if (archive == nullptr) return nullptr;
  const os::FileHandle handle =
      os::OpenExistingFile(archive->FileName(), rtl::fmOpenRead | rtl::fmShareDenyNone);
  if (!handle.Valid()) return nullptr;
  std::unique_ptr<os::FileMapping> mapping;
  if (os::SeekFile(handle, 0, 2) == fileSize)
    mapping = os::FileMapping::Open(handle, static_cast<uint64_t>(offset), span);
  os::CloseFile(handle);
  return mapping;
}

}  // namespace

std::optional<uint32_t> InflateMemberInParallel(const TAbZipItem& item,
                                                const TAbMemberSource& source, rtl::TStream& output,
                                                bool testOnly) {
  if (source.inflateThreads < 2 || item.IsEncrypted() ||
      item.CompressedSize64() < kParallelInflateFrom)
    return std::nullopt;
  rtl::TStream* const file = &source.stream;
  const int64_t offset = file->Position();
  const int64_t fileSize = file->Size();
  const uint64_t span = item.CompressedSize64();
  // A span that runs past the file is the one-thread decoder's to report.
  if (offset < 0 || fileSize < offset || span > static_cast<uint64_t>(fileSize - offset))
    return std::nullopt;
  const std::unique_ptr<os::FileMapping> mapping = MapSpan(*file, offset, span, fileSize);
  if (!mapping) return std::nullopt;

  TAbParallelInflateOptions options;
  options.threads = source.inflateThreads;
  options.deflate64 = item.CompressionMethod() == kDeflate64Method;
  options.outputLimit = item.UncompressedSize64();
  options.expectedOutput = item.UncompressedSize64();
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
    DiagnoseOnOneThread(item, source.stream, offset, testOnly);
    throw;
  } catch (const EAbZipSizeExceeded&) {
    DiagnoseOnOneThread(item, source.stream, offset, testOnly);
    throw;
  }
}

}  // namespace ab
