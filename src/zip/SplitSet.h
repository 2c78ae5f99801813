// Split sets (a.z01, a.z02, ..., a.zip, as Info-ZIP's zip -s and WinZip
// write them) read as one source: each part starts where the one before it
// ends, so that every (disk, offset) pair the records give is one position,
// and an entry whose data runs on into the next part reads as if it did not.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zip/Archive.h"
#include "zip/engine/AbZipRecords.h"

namespace zip {

class SplitSetSource final : public Source, public ab::TAbDiskMap {
 public:
  // The parts in disk order, the last part (the one holding the end record)
  // last; their sizes are taken now.
  explicit SplitSetSource(std::vector<std::shared_ptr<const Source>> parts);

  uint64_t Size() const override { return starts_.back(); }
  size_t ReadAt(uint64_t offset, void* buffer, size_t count) const override;

  std::optional<uint64_t> PositionOf(uint32_t disk, uint64_t offset) const override;
  uint32_t LastDisk() const override { return static_cast<uint32_t>(parts_.size() - 1); }

 private:
  std::vector<std::shared_ptr<const Source>> parts_;
  std::vector<uint64_t> starts_;  // of each part, then the end of the last
};

}  // namespace zip
