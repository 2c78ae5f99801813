#include "zip/engine/AbZipExtra.h"

#include "os/text.h"
#include "zip/engine/AbUtils.h"

namespace ab {

namespace {

uint64_t LoadLe(std::string_view bytes, size_t at, size_t width) {
  return LoadLittleEndian(bytes.data() + at, width);
}

// Seconds between 1601-01-01 and 1970-01-01.
constexpr int64_t kFileTimeEpochOffset = 11644473600;
constexpr uint64_t kFileTimeStepsPerSecond = 10000000;

}  // namespace

std::optional<std::string_view> TAbExtraBlocks::Find(uint16_t id) const {
  // Every block of the sound part was measured when the field was split.
  for (size_t at = 0; sound.size() - at >= 4;) {
    const auto length = static_cast<size_t>(LoadLe(sound, at + 2, 2));
    if (LoadLe(sound, at, 2) == id) return sound.substr(at + 4, length);
    at += 4 + length;
  }
  return std::nullopt;
}

void TAbExtraBlocks::ForEach(
    const std::function<void(uint16_t id, std::string_view data)>& f) const {
  for (size_t at = 0; sound.size() - at >= 4;) {
    const auto length = static_cast<size_t>(LoadLe(sound, at + 2, 2));
    f(static_cast<uint16_t>(LoadLe(sound, at, 2)), sound.substr(at + 4, length));
    at += 4 + length;
  }
}

TAbExtraBlocks SplitExtraField(std::string_view extra) {
  TAbExtraBlocks result;
  size_t at = 0;
  while (extra.size() - at >= 4) {
    const auto id = static_cast<uint16_t>(LoadLe(extra, at, 2));
    const auto length = static_cast<size_t>(LoadLe(extra, at + 2, 2));
    if (length > extra.size() - at - 4) {
      result.damaged = true;
      result.damagedId = id;
      break;
    }
    ++result.count;
    at += 4 + length;
  }
  result.sound = extra.substr(0, at);
  return result;
}

bool TAbExtraBlocks::DamageMatters() const {
  if (!damaged) return false;
  switch (damagedId) {
    case kAbNtfsExtraId:
    case kAbExtendedTimestampId:
    case 0x000D:  // PKWARE Unix: times, ids, link target
    case 0x5855:  // Info-ZIP Unix, old: times and ids
    case 0x7855:  // Info-ZIP Unix: ids
    case 0x7875:  // Info-ZIP Unix, new: ids
    case 0x6375:  // Info-ZIP Unicode comment
      return false;
    default:
      return true;
  }
}

TAbZip64Values ReadZip64Block(std::string_view block, const TAbZip64Needs& needs) {
  TAbZip64Values values;
  size_t at = 0;
  auto take = [&](bool needed, size_t width) -> std::optional<uint64_t> {
    if (!needed || block.size() - at < width) return std::nullopt;
    const uint64_t value = LoadLe(block, at, width);
    at += width;
    return value;
  };
  values.uncompressedSize = take(needs.uncompressedSize, 8);
  // A missing value leaves the later ones where they would have been: the
  // block is too short for them as well.
  if (needs.uncompressedSize && !values.uncompressedSize) return values;
  values.compressedSize = take(needs.compressedSize, 8);
  if (needs.compressedSize && !values.compressedSize) return values;
  values.localHeaderOffset = take(needs.localHeaderOffset, 8);
  if (needs.localHeaderOffset && !values.localHeaderOffset) return values;
  if (const auto disk = take(needs.diskNumberStart, 4)) values.diskNumberStart = uint32_t(*disk);
  return values;
}

std::optional<std::string> ReadUnicodePathBlock(std::string_view block,
                                                std::string_view storedName) {
  if (block.size() < 5 || static_cast<uint8_t>(block[0]) != 1) return std::nullopt;
  const auto crc = static_cast<uint32_t>(LoadLe(block, 1, 4));
  if (crc != Crc32(storedName.data(), storedName.size())) return std::nullopt;
  const std::string_view name = block.substr(5);
  if (!os::text::IsValidUtf8(name)) return std::nullopt;
  return std::string(name);
}

TAbZipTime FileTimeToZipTime(uint64_t fileTime) {
  TAbZipTime time;
  time.seconds = static_cast<int64_t>(fileTime / kFileTimeStepsPerSecond) - kFileTimeEpochOffset;
  time.nanoseconds = static_cast<uint32_t>(fileTime % kFileTimeStepsPerSecond) * 100;
  return time;
}

TAbZipTimes ReadNtfsBlock(std::string_view block) {
  TAbZipTimes times;
  // Four reserved bytes, then attributes of a tag and a size; tag 1 holds
  // the three times.
  size_t at = 4;
  while (block.size() >= at && block.size() - at >= 4) {
    const auto tag = static_cast<uint16_t>(LoadLe(block, at, 2));
    const auto size = static_cast<size_t>(LoadLe(block, at + 2, 2));
    at += 4;
    if (size > block.size() - at) break;
    if (tag == 1 && size >= 24) {
      auto time = [&](size_t index) -> std::optional<TAbZipTime> {
        const uint64_t value = LoadLe(block, at + 8 * index, 8);
        if (value == 0) return std::nullopt;
        return FileTimeToZipTime(value);
      };
      times.modified = time(0);
      times.accessed = time(1);
      times.created = time(2);
    }
    at += size;
  }
  return times;
}

TAbZipTimes ReadExtendedTimestampBlock(std::string_view block) {
  TAbZipTimes times;
  if (block.empty()) return times;
  const auto flags = static_cast<uint8_t>(block[0]);
  size_t at = 1;
  auto take = [&](uint8_t bit) -> std::optional<TAbZipTime> {
    if ((flags & bit) == 0 || block.size() - at < 4) return std::nullopt;
    const auto value = static_cast<int32_t>(static_cast<uint32_t>(LoadLe(block, at, 4)));
    at += 4;
    return TAbZipTime{value, 0};
  };
  times.modified = take(0x01);
  times.accessed = take(0x02);
  times.created = take(0x04);
  return times;
}

}  // namespace ab
