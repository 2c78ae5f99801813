// CRC-32: on x86 with carry-less multiplication, 64-byte blocks are folded
// four lanes at a time and reduced with Barrett's method; elsewhere, and for
// short tails, eight bytes at a time through sliced tables. Every result
// equals the byte-at-a-time definition over kCrc32Table.
#include "archive/AbCrc32.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSALINE_CLMUL_CRC 1
#endif

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

uint32_t SlicedCrc(uint32_t crc, const uint8_t* p, size_t count) {
  while (count >= 8) {
    const uint32_t low = LoadLe32(p) ^ crc;
    const uint32_t high = LoadLe32(p + 4);
    crc = kTables[7][low & 0xFF] ^ kTables[6][(low >> 8) & 0xFF] ^ kTables[5][(low >> 16) & 0xFF] ^
          kTables[4][low >> 24] ^ kTables[3][high & 0xFF] ^ kTables[2][(high >> 8) & 0xFF] ^
          kTables[1][(high >> 16) & 0xFF] ^ kTables[0][high >> 24];
    p += 8;
    count -= 8;
  }
  while (count-- > 0) crc = kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

#if TESSALINE_CLMUL_CRC

// x^n mod P for the folding distances (n = 4*128+32, 4*128-32, 128+32,
// 128-32, 64), then P itself and floor(x^64 / P), all bit-reflected.
constexpr uint64_t kFold512[2] = {0x0154442bd4, 0x01c6e41596};
constexpr uint64_t kFold128[2] = {0x01751997d0, 0x00ccaa009e};
constexpr uint64_t kFold64 = 0x0163cd6124;
constexpr uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};

#define TESSALINE_CLMUL __attribute__((target("pclmul,sse4.1")))

TESSALINE_CLMUL inline __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

// x times x^n (the two halves of k) plus the next block.
TESSALINE_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

TESSALINE_CLMUL uint32_t ClmulCrc(uint32_t crc, const uint8_t* data, size_t count) {
  __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(data + 16);
  __m128i x3 = load(data + 32);
  __m128i x4 = load(data + 48);
  data += 64;
  count -= 64;
  __m128i k =
      _mm_set_epi64x(static_cast<long long>(kFold512[1]), static_cast<long long>(kFold512[0]));
  while (count >= 64) {
    x1 = fold(x1, k, load(data));
    x2 = fold(x2, k, load(data + 16));
    x3 = fold(x3, k, load(data + 32));
    x4 = fold(x4, k, load(data + 48));
    data += 64;
    count -= 64;
  }
  k = _mm_set_epi64x(static_cast<long long>(kFold128[1]), static_cast<long long>(kFold128[0]));
  x1 = fold(x1, k, x2);
  x1 = fold(x1, k, x3);
  x1 = fold(x1, k, x4);
  while (count >= 16) {
    x1 = fold(x1, k, load(data));
    data += 16;
    count -= 16;
  }
  // 128 bits to 64.
  const __m128i mask32 = _mm_setr_epi32(-1, 0, -1, 0);
  x2 = _mm_clmulepi64_si128(x1, k, 0x10);
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2);
  // 64 bits to 32.
  k = _mm_set_epi64x(0, static_cast<long long>(kFold64));
  x2 = _mm_srli_si128(x1, 4);
  x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x00), x2);
  // Barrett reduction to the 32-bit register.
  k = _mm_set_epi64x(static_cast<long long>(kBarrett[1]), static_cast<long long>(kBarrett[0]));
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x1, mask32), k, 0x10);
  x2 = _mm_clmulepi64_si128(_mm_and_si128(x2, mask32), k, 0x00);
  x1 = _mm_xor_si128(x1, x2);
  crc = static_cast<uint32_t>(_mm_extract_epi32(x1, 1));
  return SlicedCrc(crc, data, count);
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}

#endif

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

uint32_t UpdateCrc32(uint32_t crc, const void* buffer, size_t count) {
  const auto* data = static_cast<const uint8_t*>(buffer);
#if TESSALINE_CLMUL_CRC
  if (count >= 64 && HaveClmul()) return ClmulCrc(crc, data, count);
#endif
  return SlicedCrc(crc, data, count);
}

uint32_t Crc32(const void* buffer, size_t count) {
  return ~UpdateCrc32(kCrc32Start, buffer, count);
}

}  // namespace ab
