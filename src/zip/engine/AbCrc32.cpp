// CRC-32: on x86 with carry-less multiplication, blocks are folded four
// lanes at a time (64-byte lanes where the processor has 512-bit carry-less
// multiplication, else 16-byte lanes) and reduced with Barrett's method; elsewhere, and for
// short tails, eight bytes at a time through sliced tables. Every result
// equals the byte-at-a-time definition over kCrc32Table.
#include "zip/engine/AbCrc32.h"

#include <array>
#include <cstring>

#include "rtl/Cpu.h"

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

// The folding constants: x^n mod P, bit-reflected and shifted left by one, as
// the carry-less products of reflected data need them.
constexpr uint64_t FoldConstant(int n) {
  uint64_t r = 1;
  for (int i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (uint64_t{1} << 32)) r ^= 0x104C11DB7;
  }
  uint64_t reflected = 0;
  for (int bit = 0; bit < 32; ++bit)
    if (r & (uint64_t{1} << bit)) reflected |= uint64_t{1} << (31 - bit);
  return reflected << 1;
}

// Pairs for folding a lane over a distance of d bits: x^(d+32) and x^(d-32).
struct TFoldPair {
  uint64_t low, high;
};
constexpr TFoldPair FoldOver(int bits) {
  return {FoldConstant(bits + 32), FoldConstant(bits - 32)};
}
constexpr TFoldPair kFold2048 = FoldOver(4 * 512);  // four 64-byte lanes
constexpr TFoldPair kFold512 = FoldOver(4 * 128);   // four 16-byte lanes, or one 64-byte
constexpr TFoldPair kFold128 = FoldOver(128);
constexpr uint64_t kFold64 = FoldConstant(64);
// P itself and floor(x^64 / P), bit-reflected, for Barrett's reduction.
constexpr uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};
static_assert(kFold512.low == 0x0154442bd4 && kFold512.high == 0x01c6e41596);
static_assert(kFold128.low == 0x01751997d0 && kFold128.high == 0x00ccaa009e);
static_assert(kFold64 == 0x0163cd6124);

#define TESSALINE_CLMUL __attribute__((target("pclmul,sse4.1")))

TESSALINE_CLMUL inline __m128i load(const uint8_t* p) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

TESSALINE_CLMUL inline __m128i pair(TFoldPair k) {
  return _mm_set_epi64x(static_cast<long long>(k.high), static_cast<long long>(k.low));
}

// x times x^n (the two halves of k) plus the next block.
TESSALINE_CLMUL inline __m128i fold(__m128i x, __m128i k, __m128i next) {
  return _mm_xor_si128(
      _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11)), next);
}

// Four 16-byte lanes (x1 the earliest) folded into one, the whole 16-byte
// blocks that follow folded in, and the result reduced to the register; the
// last bytes go through the tables.
TESSALINE_CLMUL inline uint32_t FinishLanes(__m128i x1, __m128i x2, __m128i x3, __m128i x4,
                                            const uint8_t* data, size_t count) {
  __m128i k = pair(kFold128);
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
  return SlicedCrc(static_cast<uint32_t>(_mm_extract_epi32(x1, 1)), data, count);
}

// At least 64 bytes, 64 at a time in four 16-byte lanes.
TESSALINE_CLMUL uint32_t ClmulCrc(uint32_t crc, const uint8_t* data, size_t count) {
  __m128i x1 = _mm_xor_si128(load(data), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = load(data + 16);
  __m128i x3 = load(data + 32);
  __m128i x4 = load(data + 48);
  data += 64;
  count -= 64;
  const __m128i k = pair(kFold512);
  while (count >= 64) {
    x1 = fold(x1, k, load(data));
    x2 = fold(x2, k, load(data + 16));
    x3 = fold(x3, k, load(data + 32));
    x4 = fold(x4, k, load(data + 48));
    data += 64;
    count -= 64;
  }
  return FinishLanes(x1, x2, x3, x4, data, count);
}

bool HaveClmul() {
  return rtl::CpuFeatures().clmul;
}

// Processors with 512-bit carry-less multiplication fold four 64-byte lanes
// at a time, three times the bytes per instruction of the 16-byte lanes.
#define TESSALINE_WIDE_CLMUL __attribute__((target("avx512f,vpclmulqdq,pclmul,sse4.1")))

TESSALINE_WIDE_CLMUL inline __m512i load64(const uint8_t* p) {
  return _mm512_loadu_si512(p);
}

// The pair in every 16-byte lane.
TESSALINE_WIDE_CLMUL inline __m512i pair64(TFoldPair k) {
  const auto low = static_cast<long long>(k.low);
  const auto high = static_cast<long long>(k.high);
  return _mm512_set_epi64(high, low, high, low, high, low, high, low);
}

// One 16-byte lane. (The masked form: the plain one trips GCC 12's
// uninitialized-value warning inside its own header.)
template <int Lane>
TESSALINE_WIDE_CLMUL inline __m128i lane(__m512i z) {
  return _mm512_maskz_extracti32x4_epi32(0xF, z, Lane);
}

TESSALINE_WIDE_CLMUL inline __m512i fold64(__m512i x, __m512i k, __m512i next) {
  return _mm512_ternarylogic_epi64(_mm512_clmulepi64_epi128(x, k, 0x00),
                                   _mm512_clmulepi64_epi128(x, k, 0x11), next, 0x96);
}

// At least 256 bytes.
TESSALINE_WIDE_CLMUL uint32_t WideClmulCrc(uint32_t crc, const uint8_t* data, size_t count) {
  __m512i z1 = _mm512_xor_si512(load64(data),
                                _mm512_zextsi128_si512(_mm_cvtsi32_si128(static_cast<int>(crc))));
  __m512i z2 = load64(data + 64);
  __m512i z3 = load64(data + 128);
  __m512i z4 = load64(data + 192);
  data += 256;
  count -= 256;
  __m512i k = pair64(kFold2048);
  while (count >= 256) {
    z1 = fold64(z1, k, load64(data));
    z2 = fold64(z2, k, load64(data + 64));
    z3 = fold64(z3, k, load64(data + 128));
    z4 = fold64(z4, k, load64(data + 192));
    data += 256;
    count -= 256;
  }
  k = pair64(kFold512);
  z1 = fold64(z1, k, z2);
  z1 = fold64(z1, k, z3);
  z1 = fold64(z1, k, z4);
  while (count >= 64) {
    z1 = fold64(z1, k, load64(data));
    data += 64;
    count -= 64;
  }
  return FinishLanes(lane<0>(z1), lane<1>(z1), lane<2>(z1), lane<3>(z1), data, count);
}

bool HaveWideClmul() {
  return rtl::CpuFeatures().wideClmul;
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
  if (count >= 256 && HaveWideClmul()) return WideClmulCrc(crc, data, count);
  if (count >= 64 && HaveClmul()) return ClmulCrc(crc, data, count);
#endif
  return SlicedCrc(crc, data, count);
}

uint32_t Crc32(const void* buffer, size_t count) {
  return ~UpdateCrc32(kCrc32Start, buffer, count);
}

}  // namespace ab
