// CRC-32 of decoded output, as fast as the processor allows.
#include "archive/AbDfOutW.h"
#include "archive/AbUtils.h"

namespace ab {

uint32_t UpdateCrc32Fast(uint32_t crc, const uint8_t* data, size_t count) {
  while (count > 0) {
    const size_t n = count > 0x40000000 ? 0x40000000 : count;
    crc = UpdateCrc32Buffer(data, static_cast<int32_t>(n), crc);
    data += n;
    count -= n;
  }
  return crc;
}

}  // namespace ab
