// The careful path of the Deflate bit reader: byte-wise loads, chunk refills,
// progress reports and the return of read-ahead input to the source.
#include "zip/engine/AbDfStrm.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "zip/engine/AbUtils.h"

namespace ab {

TAbDfInBitStream::TAbDfInBitStream(rtl::TStream& source, int64_t inputSize,
                                   const TAbInputProgressEvent& onInputProgress, uint8_t* buffer,
                                   int64_t inputLimit)
    : buffer_(buffer),
      source_(source),
      inputLimit_(inputLimit < 0 ? INT64_MAX : inputLimit),
      inputSize_(inputSize),
      onInputProgress_(onInputProgress) {
  state_.bitBuffer = 0;
  state_.bitsLeft = 0;
  state_.position = buffer_ + kCarry;
  state_.end = state_.position;
  if (const std::span<const uint8_t> bytes = source.BytesInPlace(); !bytes.empty()) {
    memoryStart_ = source.Position();
    memoryBase_ = bytes.data();
    memoryEnd_ = bytes.data() + std::min<int64_t>(static_cast<int64_t>(bytes.size()), inputLimit_);
    state_.position = memoryBase_;
    state_.end = memoryBase_;
  }
}

void TAbDfInBitStream::NoMoreData(const char* where) {
  throw EAbInternalInflateError(std::string("no more compressed data in stream [") + where + "]");
}

void TAbDfInBitStream::ReportProgress(int32_t count) {
  bytesRead_ += count;
  if (!onInputProgress_ || inputSize_ <= 0) return;
  onInputProgress_(RoundedPercentage(bytesRead_, inputSize_));
}

bool TAbDfInBitStream::ibsFillBuffer() {
  if (atEnd_) return false;
  if (memoryBase_ != nullptr) {
    // Without progress to report the whole source is in view at once.
    const bool progress = onInputProgress_ && inputSize_ > 0;
    const int64_t n =
        progress ? std::min<int64_t>(kChunkSize, memoryEnd_ - state_.end) : memoryEnd_ - state_.end;
    if (n <= 0) {
      wantedPastLimit_ = memoryEnd_ - memoryBase_ == inputLimit_;
      atEnd_ = true;
      return false;
    }
    state_.end += n;
    ReportProgress(static_cast<int32_t>(n));
    return true;
  }
  const int64_t unread = state_.end - state_.position;
  rtl::Assert(unread <= kCarry,
              "TAbDfInBitStream.ibsFillBuffer: the buffer should be almost empty");
  uint8_t* chunk = buffer_ + kCarry;
  std::memmove(chunk - unread, state_.position, static_cast<size_t>(unread));
  state_.position = chunk - unread;
  const auto allowed =
      static_cast<int32_t>(std::min<int64_t>(kChunkSize, inputLimit_ - bytesRead_));
  if (allowed == 0) {
    wantedPastLimit_ = true;
    atEnd_ = true;
    state_.end = chunk;
    return false;
  }
  const int32_t n = source_.Read(chunk, allowed);
  state_.end = chunk + std::max(n, 0);
  if (n <= 0) {
    atEnd_ = true;
    return false;
  }
  // Word loads may look up to 8 bytes ahead; keep what they see defined.
  std::memset(chunk + n, 0, 8);
  ReportProgress(n);
  return true;
}

bool TAbDfInBitStream::Load(uint32_t count) {
  // Whole bytes at once while a word can be read; the bits above BitsLeft()
  // stay clear, as the careful path expects.
  if (state_.end - state_.position >= 8) {
    uint64_t word;
    std::memcpy(&word, state_.position, 8);
    if constexpr (std::endian::native == std::endian::big) word = __builtin_bswap64(word);
    const uint32_t bytes = (63 - state_.bitsLeft) >> 3;
    state_.bitBuffer |= word << state_.bitsLeft;
    state_.position += bytes;
    state_.bitsLeft += bytes * 8;
    state_.bitBuffer &= (uint64_t{1} << state_.bitsLeft) - 1;
    if (state_.bitsLeft >= count) return true;
  }
  while (state_.bitsLeft < count) {
    if (state_.position == state_.end && !ibsFillBuffer()) return false;
    while (state_.bitsLeft < 56 && state_.position != state_.end) {
      state_.bitBuffer |= uint64_t{*state_.position++} << state_.bitsLeft;
      state_.bitsLeft += 8;
    }
  }
  return true;
}

uint32_t TAbDfInBitStream::ReadBit() {
  if (!EnsureBits(1)) NoMoreData("TAbDfInBitStream.ReadBit");
  const auto bit = static_cast<uint32_t>(state_.bitBuffer & 1);
  state_.bitBuffer >>= 1;
  --state_.bitsLeft;
  return bit;
}

uint32_t TAbDfInBitStream::ReadBits(int count) {
  if (count < 1 || count > 16)
    throw EAbInternalInflateError(
        "count of bits must be between 1 and 16 inclusive [TAbDfInBitStream.ReadBits]");
  const auto n = static_cast<uint32_t>(count);
  if (!EnsureBits(n)) NoMoreData("TAbDfInBitStream.ReadBits");
  const auto bits = static_cast<uint32_t>(state_.bitBuffer & ((1u << n) - 1));
  state_.bitBuffer >>= n;
  state_.bitsLeft -= n;
  return bits;
}

uint32_t TAbDfInBitStream::PeekBits(int count) {
  rtl::Assert(count >= 0 && count <= 32,
              "TAbDfInBitStream.PeekBits: count of bits must be between 1 and 32 inclusive");
  const auto n = static_cast<uint32_t>(count);
  EnsureBits(n);
  peekCount_ = n;
  // Bits above bitsLeft are zero, so a peek past the end reads zeros.
  return static_cast<uint32_t>(state_.bitBuffer & ((uint64_t{1} << n) - 1));
}

void TAbDfInBitStream::DiscardBits(int count) {
  if (count < 1 || count > 32)
    throw EAbInternalInflateError(
        "count of bits must be between 1 and 32 inclusive [TAbDfInBitStream.DiscardBits]");
  const auto n = static_cast<uint32_t>(count);
  rtl::Assert(n <= peekCount_, "TAbDfInBitStream.DiscardBits: discarding more bits than peeked");
  peekCount_ = 0;
  if (state_.bitsLeft < n) NoMoreData("TAbDfInBitStream.DiscardBits");
  state_.bitBuffer >>= n;
  state_.bitsLeft -= n;
}

void TAbDfInBitStream::AlignToByte() {
  const uint32_t n = state_.bitsLeft % 8;
  state_.bitBuffer >>= n;
  state_.bitsLeft -= n;
}

int32_t TAbDfInBitStream::ReadAvailable(void* buffer, int32_t count) {
  rtl::Assert(
      state_.bitsLeft % 8 == 0,
      "TAbDfInBitStream.ReadBuffer. cannot read a buffer unless the stream is byte-aligned");
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count && state_.bitsLeft >= 8) {
    out[done++] = static_cast<uint8_t>(state_.bitBuffer);
    state_.bitBuffer >>= 8;
    state_.bitsLeft -= 8;
  }
  if (done == count) return done;
  if (state_.position == state_.end && !ibsFillBuffer()) {
    if (done == 0) NoMoreData("TAbDfInBitStream.ReadBuffer");
    return done;
  }
  const auto n =
      static_cast<int32_t>(std::min<int64_t>(count - done, state_.end - state_.position));
  std::memcpy(out + done, state_.position, static_cast<size_t>(n));
  state_.position += n;
  return done + n;
}

void TAbDfInBitStream::ReadBuffer(void* buffer, int32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  int32_t done = 0;
  while (done < count) done += ReadAvailable(out + done, count - done);
}

void TAbDfInBitStream::ReturnUnusedInput() {
  if (memoryBase_ != nullptr) {
    const int64_t used = (state_.position - memoryBase_) - state_.bitsLeft / 8;
    state_.bitBuffer = 0;
    state_.bitsLeft = 0;
    state_.position = memoryBase_ + used;
    source_.Seek(memoryStart_ + used, rtl::soBeginning);
    return;
  }
  const int64_t unused = (state_.end - state_.position) + state_.bitsLeft / 8;
  state_.position = state_.end;
  state_.bitBuffer = 0;
  state_.bitsLeft = 0;
  if (unused > 0) source_.Seek(-unused, rtl::soCurrent);
}

}  // namespace ab
