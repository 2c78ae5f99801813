// Shared body of the legacy decoder fuzz targets: the first bytes choose the
// member's settings, the rest is its compressed data. Any exception outside
// the archive family, and any output longer than the format allows, is a
// finding.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "archive/AbUnzPrc.h"
#include "rtl/Stream.h"

namespace legacy_fuzz {

inline int RunOne(const uint8_t* data, size_t size, uint8_t method, int32_t maxOverrun) {
  if (size < 3) return 0;
  // Up to 16 KB: enough to cross the output history's 8 KB chunks.
  const int32_t uncompressed = data[0] | ((data[1] & 0x3F) << 8);
  const uint8_t options = data[2];
  std::vector<uint8_t> bytes(data + 3, data + size);
  rtl::TMemoryStream input(bytes);
  rtl::TMemoryStream output;
  ab::TAbUnzipHelper helper(input, output, nullptr);
  helper.SetCompressionMethod(method == 2 ? static_cast<uint8_t>(2 + ((options >> 4) & 3)) : method);
  helper.SetCompressedSize(static_cast<int32_t>(bytes.size()));
  helper.SetUncompressedSize(uncompressed);
  helper.SetDictionarySize((options & 0x10) != 0 ? 2 : 1);
  helper.SetShannonFanoTreeCount((options & 0x20) != 0 ? 3 : 2);
  uint8_t last = 0;
  if ((options & 0x40) != 0)
    helper.OnProgress = [&](uint8_t percent, bool&) {
      if (percent <= last && last != 0) std::abort();  // progress only rises
      last = percent;
    };
  try {
    helper.Run();
  } catch (const ab::EAbException&) {
    return 0;
  }
  // Reduce and Implode stop at the expected size, give or take the one
  // back-reference that crosses it.
  if (maxOverrun >= 0 && output.Size() > static_cast<int64_t>(uncompressed) + maxOverrun) std::abort();
  return 0;
}

}  // namespace legacy_fuzz
