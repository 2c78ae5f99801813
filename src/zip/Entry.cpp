#include "zip/Entry.h"

#include <string_view>

#include "zip/engine/AbUnzExternal.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"

namespace zip {

namespace {

constexpr uint16_t kUnixIdsField = 0x7875;  // version, then sized user and group ids
constexpr uint16_t kOldUnixField = 0x5855;  // times, then 16-bit ids in a local header

// A little-endian id of size bytes at data[at]; nothing when it runs past the
// data or does not fit 32 bits.
std::optional<uint32_t> SizedId(std::string_view data, size_t at, size_t size) {
  if (size == 0 || at + size > data.size()) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = size; i-- > 0;) {
    if (i >= 4 && data[at + i] != 0) return std::nullopt;
    value = value << 8 | static_cast<uint8_t>(data[at + i]);
  }
  return static_cast<uint32_t>(value);
}

std::optional<UnixOwner> FromUnixIds(std::string_view data) {
  if (data.size() < 2 || data[0] != 1) return std::nullopt;
  const auto userSize = static_cast<uint8_t>(data[1]);
  const std::optional<uint32_t> user = SizedId(data, 2, userSize);
  if (!user || data.size() < 3 + size_t{userSize}) return std::nullopt;
  const auto groupSize = static_cast<uint8_t>(data[2 + userSize]);
  const std::optional<uint32_t> group = SizedId(data, 3 + size_t{userSize}, groupSize);
  if (!group) return std::nullopt;
  return UnixOwner{*user, *group};
}

std::optional<UnixOwner> FromOldUnixField(std::string_view data) {
  if (data.size() < 12) return std::nullopt;
  return UnixOwner{*SizedId(data, 8, 2), *SizedId(data, 10, 2)};
}

}  // namespace

std::optional<UnixOwner> Entry::Owner() const {
  const ab::TAbExtraBlocks blocks = ab::SplitExtraField(extraField_);
  if (const auto ids = blocks.Find(kUnixIdsField))
    if (auto owner = FromUnixIds(*ids)) return owner;
  if (const auto old = blocks.Find(kOldUnixField)) return FromOldUnixField(*old);
  return std::nullopt;
}

std::optional<WinZipAesFacts> Entry::WinZipAes() const {
  const std::optional<ab::TAbWinZipAesField> field = ab::ReadWinZipAesField(extraField_);
  if (!field) return std::nullopt;
  return WinZipAesFacts{field->vendorVersion, field->strength, field->method, field->Overhead()};
}

DosDateTime DecodeDosDateTime(uint16_t dosDate, uint16_t dosTime) {
  const ab::TAbDosDateTime t = ab::DecodeDosDateTime(dosDate, dosTime);
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

}  // namespace zip
