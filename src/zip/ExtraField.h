// An entry's extra field as its blocks, for callers that show or read
// blocks the entry's own accessors do not decode. Every block is a view
// into the field it came from, which must outlive it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "zip/Entry.h"

namespace zip {

// The ids of the blocks the reader itself decodes.
namespace extra_id {
constexpr uint16_t kZip64 = 0x0001;
constexpr uint16_t kNtfsTimes = 0x000a;
constexpr uint16_t kExtendedTimestamp = 0x5455;
constexpr uint16_t kUnicodePath = 0x7075;
constexpr uint16_t kWinZipAes = 0x9901;
}  // namespace extra_id

struct ExtraBlock {
  uint16_t id = 0;
  std::string_view data;
};

class ExtraBlocks {
 public:
  // The whole blocks, in the field's order. Fewer than four bytes left at
  // the end are padding, which some writers add, not a block.
  const std::vector<ExtraBlock>& Blocks() const { return blocks_; }
  // The data of the first block with the id, or nothing.
  std::optional<std::string_view> Find(uint16_t id) const;
  // A block's length runs past the end of the field: that block and
  // anything behind it are not among Blocks().
  bool Damaged() const { return damaged_; }
  // The id of the block that runs past the end (0 when none does).
  uint16_t DamagedId() const { return damagedId_; }

 private:
  friend ExtraBlocks SplitExtraField(std::string_view field);
  std::vector<ExtraBlock> blocks_;
  bool damaged_ = false;
  uint16_t damagedId_ = 0;
};

ExtraBlocks SplitExtraField(std::string_view field);

// The modification time an extended timestamp block (0x5455) holds, when
// its flags name one and the block carries it.
std::optional<Time> ExtendedTimestampModified(std::string_view block);

}  // namespace zip
