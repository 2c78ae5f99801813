// The payload's ZIP archive as the installer reads it: plain ZIP without
// ZIP64, every member Deflate-compressed (or stored, when Deflate does not
// shrink it) under a bare name, made on MS-DOS with the archive attribute, and
// every offset counted from the start of the whole file, that is from the
// first byte of the installer in front of it.
#pragma once

#include <string>
#include <vector>

#include "Compressor.h"
#include "Stamps.h"

namespace mksfx {

struct PackedMember {
  std::string name;  // stored as it stands: plain ASCII, checked by the caller
  DosStamp stamp;
  uint32_t crc = 0;
  uint32_t size = 0;
  uint16_t method = 8;  // 8 Deflate, 0 stored
  Bytes stored;         // the bytes the member holds: deflated, or the data
};

// Compresses one file's data, or keeps it as it is when Deflate would not
// make it smaller (random data, a tiny or empty file); raises std::runtime_error when it is too
// large for a ZIP without ZIP64.
PackedMember PackMember(const std::string& name, DosStamp stamp, const Bytes& data);

// Appends the local headers with their data, the central directory and the
// end record to image; raises std::runtime_error when the result would pass
// the 4 GiB that 32-bit offsets reach.
void AppendZip(Bytes& image, const std::vector<PackedMember>& members);

}  // namespace mksfx
