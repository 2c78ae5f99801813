#include "zip/engine/AbZipLayout.h"

#include <algorithm>
#include <array>
#include <limits>

#include "zip/engine/AbBufRd.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"
#include "zip/engine/AbZipRecords.h"

namespace ab {

namespace {

constexpr int32_t kLocalHeaderSize = 30;
constexpr uint16_t kDataDescriptorFlag = 0x0008;

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return b > std::numeric_limits<uint64_t>::max() - a ? std::numeric_limits<uint64_t>::max()
                                                      : a + b;
}

bool SeekTo(rtl::TStream& stream, uint64_t position) {
  if (position > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
  const auto at = static_cast<int64_t>(position);
  return stream.Seek(at, rtl::soBeginning) == at;
}

// The length of the data descriptor at the stream's position, 0 when there
// is none. Sizes are 8 bytes each for a member with ZIP64 values.
uint64_t DataDescriptorLength(rtl::TStream& stream, uint32_t crc32, bool zip64) {
  std::array<uint8_t, 8> head{};
  if (stream.Read(head.data(), 8) != 8) return 0;
  const uint64_t sizes = zip64 ? 16 : 8;
  if (LoadLittleEndian(head.data(), 4) == kAbZipDataDescriptorSignature) return 8 + sizes;
  if (LoadLittleEndian(head.data(), 4) == crc32) return 4 + sizes;
  return 0;
}

}  // namespace

std::optional<TAbByteRange> ReadMemberSpan(rtl::TStream& stream, const TAbMemberPlace& place) {
  const uint64_t start = place.localHeaderOffset;
  std::array<uint8_t, kLocalHeaderSize> header{};
  if (!SeekTo(stream, start) || stream.Read(header.data(), kLocalHeaderSize) != kLocalHeaderSize ||
      LoadLittleEndian(header.data(), 4) != kAbZipLocalFileHeaderSignature)
    return std::nullopt;
  const auto flags = static_cast<uint16_t>(LoadLittleEndian(header.data() + 6, 2));
  const auto nameLength = static_cast<uint16_t>(LoadLittleEndian(header.data() + 26, 2));
  const auto extraLength = static_cast<uint16_t>(LoadLittleEndian(header.data() + 28, 2));
  const uint64_t dataStart = start + kLocalHeaderSize + nameLength + extraLength;
  TAbByteRange span{start, SaturatingAdd(dataStart, place.compressedSize)};
  if ((flags & kDataDescriptorFlag) == 0) return span;

  bool zip64 = place.compressedSize >= 0xFFFFFFFF || place.uncompressedSize >= 0xFFFFFFFF;
  if (!zip64 && extraLength > 0) {
    std::string extra(extraLength, '\0');
    stream.Seek(nameLength, rtl::soCurrent);
    if (stream.Read(extra.data(), extraLength) == extraLength)
      zip64 = SplitExtraField(extra).Find(kAbZip64ExtraId).has_value();
  }
  if (SeekTo(stream, span.end))
    span.end = SaturatingAdd(span.end, DataDescriptorLength(stream, place.crc32, zip64));
  return span;
}

std::vector<bool> FindOverlappingMembers(rtl::TStream& stream, size_t count,
                                         const std::function<TAbMemberPlace(size_t)>& placeOf,
                                         const TAbByteRange& directory) {
  struct TEntry {
    TAbByteRange span;
    size_t index;
  };
  // Each member's place is asked for once, in catalogue order, which is the
  // order of the local headers in the file for all but odd archives: they
  // are read mostly from one block of the file after another.
  std::vector<TEntry> entries;
  entries.reserve(count);
  TAbBufferedReader reader(stream);
  for (size_t i = 0; i < count; ++i) {
    if (const auto span = ReadMemberSpan(reader, placeOf(i))) entries.push_back({*span, i});
  }
  std::sort(entries.begin(), entries.end(), [](const TEntry& a, const TEntry& b) {
    return a.span.start != b.span.start ? a.span.start < b.span.start : a.span.end < b.span.end;
  });

  // In order of their starts, a span overlaps an earlier one exactly when it
  // starts before the furthest end seen so far; the span that reaches
  // furthest is the one it overlaps.
  std::vector<bool> overlaps(count, false);
  const TEntry* furthest = nullptr;
  for (const TEntry& entry : entries) {
    if (furthest != nullptr && entry.span.start < furthest->span.end) {
      overlaps[entry.index] = true;
      overlaps[furthest->index] = true;
    }
    if (furthest == nullptr || entry.span.end > furthest->span.end) furthest = &entry;
    if (entry.span.Overlaps(directory)) overlaps[entry.index] = true;
  }
  return overlaps;
}

}  // namespace ab
