// Raw Deflate at the strongest setting of the encoder this build links:
// libdeflate at level 12 where it is available (the Linux packer), zlib at
// level 9 where it is not (the Win32 packer).
#pragma once

#include <cstdint>
#include <vector>

namespace mksfx {

using Bytes = std::vector<uint8_t>;

// Raises std::runtime_error when the encoder fails.
Bytes CompressRaw(const Bytes& data);
// "libdeflate 1.14, level 12", for the report.
const char* EncoderName();

}  // namespace mksfx
