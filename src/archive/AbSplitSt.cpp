#include "archive/AbSplitSt.h"

#include <algorithm>
#include <limits>

namespace ab {

std::string SplitPartName(const std::string& lastPart, uint32_t disk, uint32_t lastDisk) {
  if (disk >= lastDisk) return lastPart;
  const size_t dot = lastPart.find_last_of('.');
  const size_t folder = lastPart.find_last_of("/\\");
  const bool hasExtension =
      dot != std::string::npos && (folder == std::string::npos || dot > folder);
  const std::string stem = hasExtension ? lastPart.substr(0, dot) : lastPart;
  const bool upper = hasExtension && dot + 1 < lastPart.size() && lastPart[dot + 1] == 'Z';
  std::string number = std::to_string(disk + 1);
  if (number.size() < 2) number = std::string(1, '0') + number;
  return stem + (upper ? ".Z" : ".z") + number;
}

TAbSplitSetStream::TAbSplitSetStream(std::vector<std::unique_ptr<rtl::TStream>> parts)
    : parts_(std::move(parts)) {
  starts_.push_back(0);
  for (const std::unique_ptr<rtl::TStream>& part : parts_)
    starts_.push_back(starts_.back() + std::max<int64_t>(0, part->Size()));
}

int32_t TAbSplitSetStream::Read(void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  // The part holding the position: the last whose start is not behind it.
  size_t part = static_cast<size_t>(
      std::upper_bound(starts_.begin(), starts_.end() - 1, position_) - starts_.begin());
  part = part == 0 ? 0 : part - 1;
  while (done < count && part < parts_.size() && position_ < Size()) {
    const int64_t inPart = position_ - starts_[part];
    const int64_t left = starts_[part + 1] - position_;
    if (left <= 0) {
      ++part;
      continue;
    }
    rtl::TStream& stream = *parts_[part];
    if (stream.Seek(inPart, rtl::soBeginning) != inPart) break;
    const auto want = static_cast<int32_t>(std::min<int64_t>(count - done, left));
    const int32_t got = stream.Read(out + done, want);
    if (got <= 0) break;
    done += got;
    position_ += got;
    if (got < want) break;  // the part shrank since it was measured
  }
  return done;
}

int32_t TAbSplitSetStream::Write(const void*, int32_t) {
  return 0;
}

int64_t TAbSplitSetStream::Seek(int64_t offset, int origin) {
  int64_t base = 0;
  if (origin == rtl::soCurrent) base = position_;
  if (origin == rtl::soEnd) base = Size();
  if ((offset > 0 && base > std::numeric_limits<int64_t>::max() - offset) || base + offset < 0)
    return -1;
  position_ = base + offset;
  return position_;
}

std::optional<uint64_t> TAbSplitSetStream::PositionOf(uint32_t disk, uint64_t offset) const {
  if (disk >= parts_.size()) return std::nullopt;
  const auto length = static_cast<uint64_t>(starts_[disk + 1] - starts_[disk]);
  if (offset > length) return std::nullopt;
  return static_cast<uint64_t>(starts_[disk]) + offset;
}

std::unique_ptr<rtl::TStream> TAbSplitSetStream::TakeLastPart() {
  std::unique_ptr<rtl::TStream> last = std::move(parts_.back());
  parts_.clear();
  starts_.assign(1, 0);
  position_ = 0;
  return last;
}

}  // namespace ab
