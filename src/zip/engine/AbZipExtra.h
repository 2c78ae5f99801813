// The extra fields of a ZIP header that the reader understands: the ZIP64
// extended information (0x0001), Info-ZIP's Unicode Path (0x7075), the NTFS
// times (0x000a) and the extended timestamp (0x5455). Every parser works on
// the bytes it is given and never reads past them: a field is hostile input.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ab {

constexpr uint16_t kAbZip64ExtraId = 0x0001;
constexpr uint16_t kAbNtfsExtraId = 0x000A;
constexpr uint16_t kAbExtendedTimestampId = 0x5455;
constexpr uint16_t kAbUnicodePathId = 0x7075;
// WinZip's AES encryption: strength, version and the real method.
constexpr uint16_t kAbWinZipAesId = 0x9901;
constexpr uint8_t kAbWinZipAesMethod = 99;

// A moment in UTC: seconds since 1970-01-01 (negative before) and the
// nanoseconds within that second.
struct TAbZipTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
  friend bool operator==(const TAbZipTime&, const TAbZipTime&) = default;
};

// The blocks of an extra field, in order. damaged: a block's length runs past
// the end of the field (the blocks before it are kept). Fewer than four bytes
// left at the end are padding, which some writers add, not damage. The blocks
// are found again in the field when asked for, so that splitting a field
// allocates nothing.
struct TAbExtraBlocks {
  std::string_view sound;  // the field's blocks in front of any damage
  size_t count = 0;
  bool damaged = false;
  uint16_t damagedId = 0;  // the id of the block that runs past the end

  // Whether the damage is in a block that carries sizes, offsets, the name
  // or the cipher (ZIP64, Unicode Path, WinZip AES), or in one this reader
  // cannot name: such a member cannot be trusted. Damage in a block of
  // times, attributes or a comment loses only what that block says.
  bool DamageMatters() const;

  // The data of the first block with the id, or nothing.
  std::optional<std::string_view> Find(uint16_t id) const;
  // Each block of the sound part in order, with its id and data.
  void ForEach(const std::function<void(uint16_t id, std::string_view data)>& f) const;
};
TAbExtraBlocks SplitExtraField(std::string_view extra);

// The values of a ZIP64 block. The block holds only the values whose header
// field is saturated (0xFFFFFFFF, or 0xFFFF for the disk), in this order; a
// value the header defers to the block but the block lacks stays empty.
struct TAbZip64Values {
  std::optional<uint64_t> uncompressedSize;
  std::optional<uint64_t> compressedSize;
  std::optional<uint64_t> localHeaderOffset;
  std::optional<uint32_t> diskNumberStart;
};
struct TAbZip64Needs {
  bool uncompressedSize = false;
  bool compressedSize = false;
  bool localHeaderOffset = false;
  bool diskNumberStart = false;
};
TAbZip64Values ReadZip64Block(std::string_view block, const TAbZip64Needs& needs);

// The UTF-8 name of a Unicode Path block: only version 1, only when the
// CRC-32 it carries is that of the stored name (otherwise the name was
// changed by a tool that did not know the block), and only valid UTF-8.
std::optional<std::string> ReadUnicodePathBlock(std::string_view block,
                                                std::string_view storedName);

struct TAbZipTimes {
  std::optional<TAbZipTime> modified;
  std::optional<TAbZipTime> accessed;
  std::optional<TAbZipTime> created;
};
// NTFS times: 100-nanosecond steps since 1601 (0 means not recorded).
TAbZipTimes ReadNtfsBlock(std::string_view block);
// Extended timestamp: a flags byte, then the signed 32-bit Unix times it
// names, as many as the block holds (a central header keeps only the first).
TAbZipTimes ReadExtendedTimestampBlock(std::string_view block);

// A Windows FILETIME as seconds and nanoseconds since 1970.
TAbZipTime FileTimeToZipTime(uint64_t fileTime);

}  // namespace ab
