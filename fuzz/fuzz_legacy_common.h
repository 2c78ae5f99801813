// Shared body of the legacy decoder fuzz targets: the first bytes choose the
// member's settings, the rest is its compressed data. Any exception outside
// the archive family, any output longer than the format allows, and any
// difference from the tests' plain reference decoder (bytes written,
// progress reported, refusal) is a finding.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "../tests/support/AbUnzReference.h"
#include "rtl/Stream.h"
#include "zip/engine/AbUnzPrc.h"

namespace legacy_fuzz {

inline int RunOne(const uint8_t* data, size_t size, uint8_t method, int32_t maxOverrun) {
  if (size < 3) return 0;
  // Up to 64 KB: enough to cross the 32 KB output flushes, where progress is
  // reported between back-references.
  const int32_t uncompressed = data[0] | (data[1] << 8);
  const uint8_t options = data[2];
  std::vector<uint8_t> bytes(data + 3, data + size);
  rtl::TMemoryStream input(bytes);
  rtl::TMemoryStream output;
  ab::TAbUnzipHelper helper(input, output, nullptr);
  const uint8_t chosenMethod =
      method == 2 ? static_cast<uint8_t>(2 + ((options >> 4) & 3)) : method;
  const uint8_t dictionarySize = (options & 0x10) != 0 ? 2 : 1;
  const uint8_t treeCount = (options & 0x20) != 0 ? 3 : 2;
  helper.SetCompressionMethod(chosenMethod);
  helper.SetCompressedSize(static_cast<int32_t>(bytes.size()));
  helper.SetUncompressedSize(uncompressed);
  helper.SetDictionarySize(dictionarySize);
  helper.SetShannonFanoTreeCount(treeCount);
  const bool reportProgress = (options & 0x40) != 0;
  std::vector<int> progress;
  if (reportProgress)
    helper.OnProgress = [&](uint8_t percent, bool&) {
      if (!progress.empty() && percent <= progress.back()) std::abort();  // progress only rises
      progress.push_back(percent);
    };
  bool failed = false;
  try {
    helper.Run();
  } catch (const ab::EAbException&) {
    failed = true;
  }
  // Reduce and Implode stop at the expected size, give or take the one
  // back-reference that crosses it.
  if (!failed && maxOverrun >= 0 && output.Size() > static_cast<int64_t>(uncompressed) + maxOverrun)
    std::abort();

  legacy_test::ReferenceDecoder reference(bytes, 0, static_cast<int32_t>(bytes.size()),
                                          uncompressed);
  reference.recordProgress = reportProgress;
  bool referenceFailed = false;
  try {
    reference.Run(chosenMethod, dictionarySize, treeCount);
  } catch (const legacy_test::ReferenceFailure&) {
    referenceFailed = true;
  }
  if (failed != referenceFailed || output.Bytes() != reference.output) std::abort();
  if (reportProgress && progress != reference.progress) std::abort();
  return 0;
}

}  // namespace legacy_fuzz
