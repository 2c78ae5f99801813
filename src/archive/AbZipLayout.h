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

class TAbZipItem;

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
TAbMemberPlace PlaceOf(const TAbZipItem& item);

// A member's span: its local header, name and extra field, its compressed
// data and, when it has one, its data descriptor. The descriptor counts only
// when it is really there (its signature, or the member's CRC-32 where the
// signature would be): writers that set the flag and write none must not
// make their members overlap. Nothing when no local header is found at the
// member's offset (its decoding fails on that by itself).
std::optional<TAbByteRange> ReadMemberSpan(rtl::TStream& stream, const TAbMemberPlace& place);

// For each item, whether its span overlaps another item's or the directory
// (the central directory and the end records).
std::vector<bool> FindOverlappingMembers(rtl::TStream& stream,
                                         const std::vector<TAbZipItem*>& items,
                                         const TAbByteRange& directory);
// The same for count members, each place asked for once and in order. Only
// the spans are
// held meanwhile (24 bytes a member), so that a directory of millions of
// members is checked in little memory.
std::vector<bool> FindOverlappingMembers(rtl::TStream& stream, size_t count,
                                         const std::function<TAbMemberPlace(size_t)>& placeOf,
                                         const TAbByteRange& directory);

}  // namespace ab
