// CRC-32 (reflected polynomial 0xEDB88320), sliced eight bytes at a time. Every
// result equals the byte-at-a-time definition over kCrc32Table.
#include <array>
#include <cstring>

#include "archive/AbUtils.h"

namespace ab {

namespace {

constexpr std::array<std::array<uint32_t, 256>, 8> MakeTables() {
  std::array<std::array<uint32_t, 256>, 8> tables{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    tables[0][n] = c;
  }
  // tables[k][n] is the register after byte n followed by k zero bytes.
  for (uint32_t n = 0; n < 256; ++n) {
    for (int k = 1; k < 8; ++k) {
      const uint32_t prev = tables[k - 1][n];
      tables[k][n] = tables[0][prev & 0xFF] ^ (prev >> 8);
    }
  }
  return tables;
}

constexpr auto kTables = MakeTables();

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

}  // namespace

const uint32_t kCrc32Table[256] = {
#define ROW(i) kTables[0][i], kTables[0][i + 1], kTables[0][i + 2], kTables[0][i + 3]
    ROW(0),   ROW(4),   ROW(8),   ROW(12),  ROW(16),  ROW(20),  ROW(24),  ROW(28),
    ROW(32),  ROW(36),  ROW(40),  ROW(44),  ROW(48),  ROW(52),  ROW(56),  ROW(60),
    ROW(64),  ROW(68),  ROW(72),  ROW(76),  ROW(80),  ROW(84),  ROW(88),  ROW(92),
    ROW(96),  ROW(100), ROW(104), ROW(108), ROW(112), ROW(116), ROW(120), ROW(124),
    ROW(128), ROW(132), ROW(136), ROW(140), ROW(144), ROW(148), ROW(152), ROW(156),
    ROW(160), ROW(164), ROW(168), ROW(172), ROW(176), ROW(180), ROW(184), ROW(188),
    ROW(192), ROW(196), ROW(200), ROW(204), ROW(208), ROW(212), ROW(216), ROW(220),
    ROW(224), ROW(228), ROW(232), ROW(236), ROW(240), ROW(244), ROW(248), ROW(252),
#undef ROW
};

uint32_t UpdateCrc32(uint8_t byte, uint32_t crc) {
  return kTables[0][(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

uint32_t UpdateCrc32Buffer(const void* buffer, int32_t count, uint32_t crc) {
  if (count <= 0) return crc;
  const auto* p = static_cast<const uint8_t*>(buffer);
  size_t left = static_cast<size_t>(count);
  while (left >= 8) {
    const uint32_t low = LoadLe32(p) ^ crc;
    const uint32_t high = LoadLe32(p + 4);
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^
          kTables[5][(low >> 16) & 0xFF] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^
          kTables[2][(high >> 8) & 0xFF] ^ kTables[1][(high >> 16) & 0xFF] ^
          kTables[0][high >> 24];
    p += 8;
    left -= 8;
  }
  while (left-- > 0) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t UpdateCrc32Buffer16(const void* buffer, uint16_t count, uint32_t crc) {
  return UpdateCrc32Buffer(buffer, count, crc);
}

uint32_t Crc32(const void* buffer, size_t count) {
  uint32_t crc = kCrc32Start;
  const auto* p = static_cast<const uint8_t*>(buffer);
  while (count > 0) {
    const auto chunk = static_cast<int32_t>(count > 0x40000000 ? 0x40000000 : count);
    crc = UpdateCrc32Buffer(p, chunk, crc);
    p += chunk;
    count -= static_cast<size_t>(chunk);
  }
  return ~crc;
}

}  // namespace ab
