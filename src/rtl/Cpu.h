// What the processor offers the hand-tuned code paths, asked once and only
// when a path first wants to know. Under a hypervisor every CPUID is a trip
// out of the guest (about 6 us each on our Firecracker machines); the
// compiler's own detection asks a dozen leaves at every start, about 0.09 ms
// of every tunzip run, a few percent of testing a small archive.
#pragma once

namespace rtl {

struct TCpuFeatures {
  bool clmul = false;      // PCLMULQDQ and SSE4.1
  bool wideClmul = false;  // AVX-512F and VPCLMULQDQ, with the OS saving ZMM state
  bool bmi2 = false;
};

const TCpuFeatures& CpuFeatures();

}  // namespace rtl
