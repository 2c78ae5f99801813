// The parts of a split archive (a.z01, a.z02, ..., a.zip) read as one stream:
// each part starts where the one before it ends, so that every (disk, offset)
// pair the archive's records give is one position, and a member whose data
// runs on into the next part reads as if it did not.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "rtl/Stream.h"

namespace ab {

// Opens the part on disk `disk` (0 for the first) of a split set whose last
// part, on disk lastDisk, is the archive; nothing when there is no such part.
using TAbPartOpener =
    std::function<std::unique_ptr<rtl::TStream>(uint32_t disk, uint32_t lastDisk)>;

// The name under which split writers (Info-ZIP zip -s, WinZip) put the part on
// `disk` beside the last part: a.zip gives a.z01, a.z02, ... a.z99, a.z100; the
// last part keeps its own name. The letter's case follows the extension's.
std::string SplitPartName(const std::string& lastPart, uint32_t disk, uint32_t lastDisk);

class TAbSplitSetStream : public rtl::TStream {
 public:
  // The parts in disk order, the last part (the one holding the end record)
  // last; their sizes are taken now.
  explicit TAbSplitSetStream(std::vector<std::unique_ptr<rtl::TStream>> parts);

  int32_t Read(void* buffer, int32_t count) override;
  // The stream is read-only: nothing is written.
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override { return starts_.back(); }

  uint32_t PartCount() const { return static_cast<uint32_t>(parts_.size()); }
  // Where offset of the part on disk lies in the whole; nothing when there is
  // no such disk, or the part is shorter.
  std::optional<uint64_t> PositionOf(uint32_t disk, uint64_t offset) const;
  // Gives back the last part, leaving the set empty.
  std::unique_ptr<rtl::TStream> TakeLastPart();

 private:
  std::vector<std::unique_ptr<rtl::TStream>> parts_;
  std::vector<int64_t> starts_;  // of each part, then the end of the last
  int64_t position_ = 0;
};

}  // namespace ab
