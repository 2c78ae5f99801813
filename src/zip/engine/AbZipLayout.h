// Where each member lies in the archive file, and which members share bytes
// with another member or with the central directory. A sound archive never
// does; an archive that does is built to expand far beyond its size (the
// overlapping-member zip bomb) or is damaged, and such members are refused.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "rtl/Stream.h"

namespace ab {

// The bytes [start, end) of the file.
struct TAbByteRange {
  uint64_t start = 0;
  uint64_t end = 0;
  bool Overlaps(const TAbByteRange& other) const { return start < other.end && other.start < end; }
};

// What the central directory says of where a member lies.
struct TAbMemberPlace {
  uint64_t localHeaderOffset = 0;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  uint32_t crc32 = 0;
};

// A member's span: its local header, name and extra field, its compressed
// data and, when it has one, its data descriptor. The descriptor counts only
// when it is really there (its signature, or the member's CRC-32 where the
// signature would be): writers that set the flag and write none must not
// make their members overlap. Nothing when no local header is found at the
// member's offset (its decoding fails on that by itself).
std::optional<TAbByteRange> ReadMemberSpan(rtl::TStream& stream, const TAbMemberPlace& place);

// For count members, whether each one's span overlaps another member's or
// the directory (the central directory and the end records). Each place is
// asked for once and in order, and only the spans are held meanwhile (24
// bytes a member), so that a directory of millions of members is checked in
// little memory.
std::vector<bool> FindOverlappingMembers(rtl::TStream& stream, size_t count,
                                         const std::function<TAbMemberPlace(size_t)>& placeOf,
                                         const TAbByteRange& directory);

}  // namespace ab
