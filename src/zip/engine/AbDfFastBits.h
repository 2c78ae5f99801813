// What the fast loops of the sequential and the chunk decoder share: the
// bits below a count, and a length or distance entry's value plus its extra
// bits, each one instruction with BMI2.
#pragma once

#include <bit>
#include <cstdint>

#if defined(__GNUC__)
#define TESSALINE_DF_FAST_INLINE inline __attribute__((always_inline))
#else
#define TESSALINE_DF_FAST_INLINE inline
#endif

namespace ab {

// The bits of x below the count in the low six bits of n. The compiler
// does not find BMI2's single instruction for this by itself, and its
// intrinsic cannot be called from code that is not built for BMI2 as a
// whole, which the decoders' templates are not.
template <bool kBmi2>
TESSALINE_DF_FAST_INLINE uint64_t DfLowBits(uint64_t x, uint32_t n) {
#if defined(__x86_64__)
  if constexpr (kBmi2) {
    uint64_t low;
    asm("bzhi %2, %1, %0" : "=r"(low) : "rm"(x), "r"(uint64_t{n}));
    return low;
  }
#endif
  return x & ((uint64_t{1} << (n & 63)) - 1);
}

// The value plus the extra bits that follow the code, for a length or
// distance entry of the fast tables. Both shift counts are taken as the
// entry holds them: its low six bits are the total (bit 5 is clear), and
// bits 8 to 13 the code length, since such an entry has neither kLiteral
// nor kSubtable set.
template <bool kBmi2>
TESSALINE_DF_FAST_INLINE uint32_t DfFastValueOf(uint64_t buffer, uint32_t entry) {
  const uint64_t codeAndExtra = DfLowBits<kBmi2>(buffer, entry);
  // A rotation moves the code length down and keeps the entry (one BMI2
  // instruction); the shift reads its low six bits only.
  return (entry >> 16) + static_cast<uint32_t>(codeAndExtra >> (std::rotr(entry, 8) & 63));
}

}  // namespace ab
