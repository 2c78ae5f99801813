// The Deflate decoder's bit reader: input is taken least-significant bit first
// through a 64-bit bit buffer, read from the source in 16 KiB chunks or, when
// the source is a memory stream, straight from its memory, 16 KiB at a time.
//
// The buffer keeps BitsLeft() valid bits at the bottom. The decoder's fast
// loop works on a copy of the state (TAbDfBitState) and refills a whole word
// at a time while enough input is buffered; the routines here are the careful
// path that loads byte by byte and knows where the input ends. Bits are never
// invented: asking for more than the input holds is an error.
#pragma once

#include <cstdint>
#include <memory>

#include "rtl/Stream.h"
#include "zip/engine/AbDfBase.h"

namespace ab {

struct TAbDfBitState {
  uint64_t bitBuffer;
  uint32_t bitsLeft;
  const uint8_t* position;  // next byte not yet in the bit buffer
  const uint8_t* end;       // end of the buffered input
};

class TAbDfInBitStream {
 public:
  static constexpr int32_t kChunkSize = 16384;
  // Bytes kept in front of a chunk, so that unread bytes survive a refill.
  static constexpr int32_t kCarry = 64;

  // The buffer a reader needs for a source that is not in memory.
  static constexpr size_t kBufferSize = kCarry + kChunkSize + 8;

  // Progress is reported only when the event is set and inputSize > 0; the
  // event must outlive the reader. buffer holds kBufferSize bytes. At most
  // inputLimit bytes are taken from the source (none when negative).
  TAbDfInBitStream(rtl::TStream& source, int64_t inputSize,
                   const TAbInputProgressEvent& onInputProgress, uint8_t* buffer,
                   int64_t inputLimit = -1);
  TAbDfInBitStream(const TAbDfInBitStream&) = delete;
  TAbDfInBitStream& operator=(const TAbDfInBitStream&) = delete;

  uint32_t ReadBit();
  uint32_t ReadBits(int count);  // 1 to 16
  // The next count bits (0 to 32); bits past the end of the input read as 0.
  uint32_t PeekBits(int count);
  // Uses count bits of the last peek.
  void DiscardBits(int count);
  void AlignToByte();
  // Whole bytes; the reader must be byte-aligned.
  void ReadBuffer(void* buffer, int32_t count);
  // Up to count bytes, at least one: what is buffered, else a fresh chunk.
  // Byte-aligned only.
  int32_t ReadAvailable(void* buffer, int32_t count);

  // Loads bytes until at least count bits (at most 57) are held or the input
  // ends; false when fewer are held.
  bool EnsureBits(uint32_t count) { return state_.bitsLeft >= count || Load(count); }
  // Reads the next chunk behind the unread bytes; false when the source has
  // nothing more.
  bool ibsFillBuffer();

  // Moves the source back to just after the last byte used (a partly used
  // byte counts as used). Called once, when the decode ends.
  void ReturnUnusedInput();

  // Whether the reader was asked for more input than its limit lets it take:
  // a decode that then fails ran past the data it was given.
  bool WantedPastLimit() const { return wantedPastLimit_; }

  TAbDfBitState& State() { return state_; }
  int64_t BufferedBytes() const { return state_.end - state_.position; }

 private:
  [[noreturn]] static void NoMoreData(const char* where);
  bool Load(uint32_t count);
  void ReportProgress(int32_t count);

  TAbDfBitState state_;
  uint8_t* buffer_;
  int64_t bytesRead_ = 0;
  uint32_t peekCount_ = 0;
  bool atEnd_ = false;
  bool wantedPastLimit_ = false;
  rtl::TStream& source_;
  int64_t inputLimit_;
  int64_t inputSize_;
  const TAbInputProgressEvent& onInputProgress_;
  // A memory source is read where it lies: its bytes from memoryBase_ (the
  // source's position at the start) to memoryEnd_.
  const uint8_t* memoryBase_ = nullptr;
  const uint8_t* memoryEnd_ = nullptr;
  int64_t memoryStart_ = 0;
};

}  // namespace ab
