#include "rtl/Cpu.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

namespace rtl {

namespace {

TCpuFeatures Ask() {
  TCpuFeatures f;
#if defined(__x86_64__) || defined(__i386__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (__get_cpuid(0, &eax, &ebx, &ecx, &edx) == 0) return f;
  const unsigned maxLeaf = eax;
  __cpuid(1, eax, ebx, ecx, edx);
  f.clmul = (ecx & bit_PCLMUL) != 0 && (ecx & bit_SSE4_1) != 0;
  const bool osSavesState = (ecx & bit_OSXSAVE) != 0;
  if (maxLeaf < 7) return f;
  __cpuid_count(7, 0, eax, ebx, ecx, edx);
  f.bmi2 = (ebx & bit_BMI2) != 0;
  if (f.clmul && osSavesState && (ebx & bit_AVX512F) != 0 && (ecx & bit_VPCLMULQDQ) != 0) {
    unsigned low = 0, high = 0;
    __asm__("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
    // SSE, AVX, opmask, upper halves of ZMM0-15 and ZMM16-31.
    constexpr unsigned kZmmState = 0x2 | 0x4 | 0x20 | 0x40 | 0x80;
    f.wideClmul = (low & kZmmState) == kZmmState;
  }
#endif
  return f;
}

}  // namespace

const TCpuFeatures& CpuFeatures() {
  static const TCpuFeatures features = Ask();
  return features;
}

}  // namespace rtl
