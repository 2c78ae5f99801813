// Where a Windows executable's own image ends and where its Authenticode
// signature (the certificate table) lies, read from its PE headers. The packer
// appends its payload behind the image; signing then appends the certificate
// table behind the payload and records it in the headers.
#pragma once

#include <cstdint>
#include <vector>

namespace mksfx {

struct PeLayout {
  bool isPe = false;
  // The end of the last section's data, or of the COFF symbol table behind
  // it: bytes from here on were appended to the image.
  uint64_t imageEnd = 0;
  // The certificate table's file offset and size; 0 and 0 when unsigned.
  uint32_t certificateOffset = 0;
  uint32_t certificateSize = 0;
  bool IsSigned() const { return certificateSize != 0; }
};

// Reads the layout of file, given whole; isPe is false for anything that is
// not a PE image with intact headers.
PeLayout ReadPeLayout(const std::vector<uint8_t>& file);

}  // namespace mksfx
