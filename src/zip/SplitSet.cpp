#include "zip/SplitSet.h"

#include <algorithm>

namespace zip {

std::string SplitPartName(const std::string& lastPart, uint32_t disk, uint32_t lastDisk) {
  if (disk >= lastDisk) return lastPart;
  const size_t dot = lastPart.find_last_of('.');
  const size_t folder = lastPart.find_last_of("/\\");
  const bool hasExtension =
      dot != std::string::npos && (folder == std::string::npos || dot > folder);
  const std::string stem = hasExtension ? lastPart.substr(0, dot) : lastPart;
  const bool upper = hasExtension && dot + 1 < lastPart.size() && lastPart[dot + 1] == 'Z';
  std::string number = std::to_string(disk + 1);
  if (number.size() < 2) number = "0" + number;
  return stem + (upper ? ".Z" : ".z") + number;
}

SplitSetSource::SplitSetSource(std::vector<std::shared_ptr<const Source>> parts)
    : parts_(std::move(parts)) {
  starts_.push_back(0);
  for (const std::shared_ptr<const Source>& part : parts_)
    starts_.push_back(starts_.back() + part->Size());
}

size_t SplitSetSource::ReadAt(uint64_t offset, void* buffer, size_t count) const {
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  // The part holding the offset: the last whose start is not behind it.
  auto part = static_cast<size_t>(std::upper_bound(starts_.begin(), starts_.end() - 1, offset) -
                                  starts_.begin() - 1);
  while (done < count && part < parts_.size() && offset < Size()) {
    const uint64_t left = starts_[part + 1] - offset;
    if (left == 0) {
      ++part;
      continue;
    }
    const size_t want = static_cast<size_t>(std::min<uint64_t>(count - done, left));
    const size_t got = parts_[part]->ReadAt(offset - starts_[part], out + done, want);
    done += got;
    offset += got;
    if (got < want) break;  // the part shrank since it was measured
  }
  return done;
}

std::optional<uint64_t> SplitSetSource::PositionOf(uint32_t disk, uint64_t offset) const {
  if (disk >= parts_.size()) return std::nullopt;
  if (offset > starts_[disk + 1] - starts_[disk]) return std::nullopt;
  return starts_[disk] + offset;
}

}  // namespace zip
