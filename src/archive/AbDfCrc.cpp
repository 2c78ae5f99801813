// CRC-32 of decoded output, as fast as the processor allows: on x86 with
// carry-less multiplication, 64-byte blocks are folded four lanes at a time
// and reduced with Barrett's method; elsewhere, and for short tails, the
// sliced table code of AbUtils runs.
#include "archive/AbDfOutW.h"
#include "archive/AbUtils.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define TESSALINE_CLMUL_CRC 1
#endif

namespace ab {

namespace {

uint32_t TableCrc(uint32_t crc, const uint8_t* data, size_t count) {
  while (count > 0) {
    const size_t n = count > 0x40000000 ? 0x40000000 : count;
    crc = UpdateCrc32Buffer(data, static_cast<int32_t>(n), crc);
    data += n;
    count -= n;
  }
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
  return TableCrc(crc, data, count);
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}

#endif

}  // namespace

uint32_t UpdateCrc32Fast(uint32_t crc, const uint8_t* data, size_t count) {
#if TESSALINE_CLMUL_CRC
  if (count >= 64 && HaveClmul()) return ClmulCrc(crc, data, count);
#endif
  return TableCrc(crc, data, count);
}

}  // namespace ab
