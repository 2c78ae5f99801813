// The CRC-32 of the ZIP format (reflected polynomial 0xEDB88320, the one of
// ISO-HDLC and zlib). Every update takes the running register first and
// returns it: start from kCrc32Start, and the CRC-32 is the complement of the
// last register.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ab {

constexpr uint32_t kCrc32Start = 0xFFFFFFFF;

// The byte-at-a-time table (entry 1 is 0x77073096).
extern const uint32_t kCrc32Table[256];

inline uint32_t UpdateCrc32(uint32_t crc, uint8_t byte) {
  return kCrc32Table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}
// The register after the bytes: by carry-less multiplication where the
// processor has it, else eight bytes at a time through sliced tables.
uint32_t UpdateCrc32(uint32_t crc, const void* buffer, size_t count);
// The CRC-32 of a whole buffer.
uint32_t Crc32(const void* buffer, size_t count);

}  // namespace ab
