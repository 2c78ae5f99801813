// Helpers shared by the archive reader: the CRC-32 of the ZIP format.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ab {

constexpr uint32_t kCrc32Start = 0xFFFFFFFF;

// Each takes and returns the running register (start kCrc32Start; the CRC-32
// is the complement of the final register).
uint32_t UpdateCrc32(uint8_t byte, uint32_t crc);
uint32_t UpdateCrc32Buffer(const void* buffer, int32_t count, uint32_t crc);
uint32_t UpdateCrc32Buffer16(const void* buffer, uint16_t count, uint32_t crc);
// The CRC-32 of a whole buffer.
uint32_t Crc32(const void* buffer, size_t count);

// The byte-at-a-time table (entry 1 is 0x77073096).
extern const uint32_t kCrc32Table[256];

}  // namespace ab
