// Fuzz target: arbitrary data decoded as a Shrink member.
#include "fuzz_legacy_common.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  return legacy_fuzz::RunOne(data, size, 1, -1);
}
