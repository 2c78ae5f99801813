#include "rtl/Stream.h"

#include <algorithm>
#include <cstring>

#include "rtl/Exception.h"

namespace rtl {

int64_t TStream::Size() {
  const int64_t here = Seek(0, soCurrent);
  const int64_t end = Seek(0, soEnd);
  Seek(here, soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, int32_t count) {
  if (count < 0 || (count != 0 && Read(buffer, count) != count)) throw EReadError();
}

void TStream::WriteBuffer(const void* buffer, int32_t count) {
  if (count < 0 || (count != 0 && Write(buffer, count) != count)) throw EWriteError();
}

int64_t TStream::CopyFrom(TStream& source, int64_t count) {
  if (count == 0) {
    source.SetPosition(0);
    count = source.Size();
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(std::min<int64_t>(count, 64 * 1024)) + 1);
  int64_t left = count;
  while (left > 0) {
    const auto chunk = static_cast<int32_t>(std::min<int64_t>(left, buffer.size()));
    source.ReadBuffer(buffer.data(), chunk);
    WriteBuffer(buffer.data(), chunk);
    left -= chunk;
  }
  return count;
}

TFileStream::TFileStream(const std::string& fileName, uint16_t mode) : fileName_(fileName) {
  if (mode == fmCreate) {
    handle_ = os::CreateNewFile(fileName);
    if (!handle_.Valid()) throw EFCreateError(fileName);
  } else {
    handle_ = os::OpenExistingFile(fileName, mode);
    if (!handle_.Valid()) throw EFOpenError(fileName);
  }
}

TFileStream::~TFileStream() { os::CloseFile(handle_); }

int32_t TFileStream::Read(void* buffer, int32_t count) {
  const int32_t n = os::ReadFile(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int32_t TFileStream::Write(const void* buffer, int32_t count) {
  const int32_t n = os::WriteFile(handle_, buffer, count);
  return n < 0 ? 0 : n;
}

int64_t TFileStream::Seek(int64_t offset, int origin) {
  return os::SeekFile(handle_, offset, origin);
}

int32_t TMemoryStream::Read(void* buffer, int32_t count) {
  if (count <= 0 || position_ >= Size()) return 0;
  const auto n = static_cast<int32_t>(std::min<int64_t>(count, Size() - position_));
  std::memcpy(buffer, data_.data() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int32_t TMemoryStream::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const int64_t end = position_ + count;
  if (end > Size()) data_.resize(static_cast<size_t>(end));
  std::memcpy(data_.data() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, int origin) {
  int64_t target = offset;
  if (origin == soCurrent) target += position_;
  if (origin == soEnd) target += Size();
  if (target < 0) return -1;
  position_ = target;
  return position_;
}

std::span<const uint8_t> TMemoryStream::BytesInPlace() {
  if (position_ < 0 || position_ >= Size()) return {};
  return {data_.data() + position_, data_.size() - static_cast<size_t>(position_)};
}

void TMemoryStream::SetSize(int64_t size) {
  data_.resize(static_cast<size_t>(size));
  position_ = std::min(position_, size);
}

void TMemoryStream::Clear() {
  data_.clear();
  position_ = 0;
}

}  // namespace rtl
