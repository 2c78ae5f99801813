#include "zip/ExtraField.h"

#include "zip/engine/AbZipExtra.h"

namespace zip {

static_assert(extra_id::kZip64 == ab::kAbZip64ExtraId);
static_assert(extra_id::kNtfsTimes == ab::kAbNtfsExtraId);
static_assert(extra_id::kExtendedTimestamp == ab::kAbExtendedTimestampId);
static_assert(extra_id::kUnicodePath == ab::kAbUnicodePathId);
static_assert(extra_id::kWinZipAes == ab::kAbWinZipAesId);

std::optional<std::string_view> ExtraBlocks::Find(uint16_t id) const {
  for (const ExtraBlock& block : blocks_)
    if (block.id == id) return block.data;
  return std::nullopt;
}

ExtraBlocks SplitExtraField(std::string_view field) {
  const ab::TAbExtraBlocks split = ab::SplitExtraField(field);
  ExtraBlocks result;
  result.blocks_.reserve(split.count);
  split.ForEach([&result](uint16_t id, std::string_view data) {
    result.blocks_.push_back({id, data});
  });
  result.damaged_ = split.damaged;
  result.damagedId_ = split.damagedId;
  return result;
}

std::optional<Time> ExtendedTimestampModified(std::string_view block) {
  const std::optional<ab::TAbZipTime> modified = ab::ReadExtendedTimestampBlock(block).modified;
  if (!modified) return std::nullopt;
  return Time{modified->seconds, modified->nanoseconds};
}

}  // namespace zip
