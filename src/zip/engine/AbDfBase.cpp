// The options record, the write-only log stream and Adler-32 of the Deflate
// decoder.
#include "zip/engine/AbDfBase.h"

#include <algorithm>
#include <cstring>

namespace ab {

void TAbDeflateHelper::Assign(const TAbDeflateHelper& source) {
  const int64_t inputUsed = inputUsed_;
  const int64_t outputMade = outputMade_;
  *this = source;
  inputUsed_ = inputUsed;
  outputMade_ = outputMade;
}

void TAbDeflateHelper::SetDecodeFlags(uint32_t value) {
  if (value != decodeFlags_) {
    decodeFlags_ = value;
    compressionLevel_ = '?';
  }
}

TAbLogger::TAbLogger(const std::string& fileName) {
  rtl::Assert(!fileName.empty(), "TAbLogger.Create: a filename must be provided for the logger");
  stream_ = std::make_unique<rtl::TFileStream>(fileName, rtl::fmCreate);
}

TAbLogger::~TAbLogger() {
  try {
    Flush();
  } catch (...) {
    // A log that cannot be written must not turn a decode into a crash.
  }
}

int32_t TAbLogger::Read(void*, int32_t) {
  throw rtl::EAssertionFailed("TAbLogger.Read: loggers are write-only, no reading allowed");
}

int32_t TAbLogger::Write(const void* buffer, int32_t count) {
  if (count <= 0) return 0;
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  size_t left = static_cast<size_t>(count);
  while (left > 0) {
    if (bufferPos_ == buffer_.size()) Flush();
    const size_t n = std::min(left, buffer_.size() - bufferPos_);
    std::memcpy(buffer_.data() + bufferPos_, bytes, n);
    bufferPos_ += n;
    bytes += n;
    left -= n;
  }
  written_ += count;
  return count;
}

int64_t TAbLogger::Seek(int64_t offset, int origin) {
  rtl::Assert(offset == 0 && (origin == rtl::soCurrent || origin == rtl::soEnd),
              "TAbLogger.Seek: loggers are write-only, no seeking allowed");
  return written_;
}

void TAbLogger::WriteLine(const std::string& text) {
  Write(text.data(), static_cast<int32_t>(text.size()));
  Write(lineDelimiter_.data(), static_cast<int32_t>(lineDelimiter_.size()));
}

void TAbLogger::Flush() {
  if (bufferPos_ == 0) return;
  const auto n = static_cast<int32_t>(bufferPos_);
  bufferPos_ = 0;
  stream_->WriteBuffer(buffer_.data(), n);
}

uint32_t UpdateAdler32(uint32_t adler, const void* buffer, size_t count) {
  constexpr uint32_t kModulus = 65521;
  // 4096 bytes keep both sums far below 2^32 before they are reduced.
  constexpr size_t kRun = 4096;
  const auto* p = static_cast<const uint8_t*>(buffer);
  uint32_t low = adler & 0xFFFF;
  uint32_t high = adler >> 16;
  while (count > 0) {
    const size_t n = std::min(count, kRun);
    for (size_t i = 0; i < n; ++i) {
      low += p[i];
      high += low;
    }
    low %= kModulus;
    high %= kModulus;
    p += n;
    count -= n;
  }
  return (high << 16) | low;
}

}  // namespace ab
