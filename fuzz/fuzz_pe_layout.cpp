// The packer's PE layout reader on arbitrary bytes: mksfx --verify reads the
// headers of whatever file it is given. The layout it reports must lie within
// reason; crashes and sanitizer reports are the findings.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "PeLayout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const mksfx::PeLayout layout = mksfx::ReadPeLayout(std::vector<uint8_t>(data, data + size));
  if (!layout.isPe && (layout.imageEnd != 0 || layout.IsSigned())) __builtin_trap();
  if (layout.isPe && layout.imageEnd < 64) __builtin_trap();
  return 0;
}
