// The Deflate decoder's output window: the history that matches copy from and
// the writer that hands decoded bytes, with their checksum, to the destination.
//
// One buffer holds the history (32 KiB, or 64 KiB for Deflate64) followed by
// room for a large chunk of new output and a tail that any single match may
// run into. The decoder checksums what it made every kCheckStep bytes, while
// the bytes are still in the cache; when the write position passes the flush
// point the chunk goes to the destination in one write, and the last
// history's worth moves to the front. The tail also absorbs the few bytes a
// block copy writes past a match's end. The buffer belongs to the caller, who
// keeps it from member to member.
//
// A plain memory stream written at its end is its own window: the decoder
// writes straight into the stream's bytes, which grow a chunk at a time with
// the tail beyond, every byte made stays history, and nothing is copied;
// the stream is cut to the bytes made when the decode ends.
#pragma once

#include <cstdint>
#include <memory>

#include "rtl/Stream.h"
#include "zip/engine/AbDfBase.h"

namespace ab {

class TAbDfOutputWindow {
 public:
  // New output between flushes: the destination gets big writes, and moving
  // the history costs an eighth of a chunk's copy (a quarter for Deflate64).
  static constexpr int32_t kChunk = 256 * 1024;
  // The first growth of a memory stream that is its own window.
  static constexpr int32_t kFirstMemoryStep = 4 * 1024;
  // New bytes checksummed at a time, while they are still in the cache.
  static constexpr int32_t kCheckStep = 32 * 1024;
  // The longest Deflate match, plus the overshoot of a block copy: the tail
  // beyond the flush point. Deflate64's longer matches are copied in pieces
  // of at most kMaxMatch bytes.
  static constexpr int32_t kMaxMatch = 258;
  static constexpr int32_t kOvershoot = 64;
  static constexpr int32_t kTail = kMaxMatch + kOvershoot;
  // The buffer a window needs, for either mode.
  static constexpr size_t kBufferSize = 65536 + kChunk + kTail;

  // stopAfter > 0 ends the decode (EAbPartSizedInflate) once that many bytes
  // are produced. testOnly counts the bytes instead of writing them.
  // buffer holds kBufferSize bytes.
  TAbDfOutputWindow(rtl::TStream& dest, bool deflate64, bool useCrc, int32_t stopAfter,
                    bool testOnly, TAbLogger* log, uint8_t* buffer);
  ~TAbDfOutputWindow();
  TAbDfOutputWindow(const TAbDfOutputWindow&) = delete;
  TAbDfOutputWindow& operator=(const TAbDfOutputWindow&) = delete;

  void PutLiteral(uint8_t byte);
  // distance must lie within the output produced so far (the decoder checks).
  void CopyMatch(int32_t length, int32_t distance);
  void PutBytes(const uint8_t* bytes, int32_t count);

  // Writes out everything held and returns the CRC-32 (complemented) or the
  // Adler-32 of all bytes produced.
  uint32_t FinalChecksum();
  void FlushAll();
  int64_t BytesProduced() const;

  // For the decoder's fast loop: the write position may move freely up to
  // Limit(), never beyond FlushPoint(); a match that starts before it may
  // run up to kMaxMatch bytes on. Distances are checked
  // against Cursor() - Base().
  uint8_t* Base() const { return buffer_; }
  uint8_t*& Cursor() { return cursor_; }
  uint8_t* FlushPoint() const { return flushPoint_; }
  uint8_t* Limit() const {
    return checked_ + kCheckStep < flushPoint_ ? checked_ + kCheckStep : flushPoint_;
  }
  // Checksums the bytes made since the last call.
  void Checksum();
  // Checksums, and slides once past FlushPoint().
  void Advance() {
    Checksum();
    if (cursor_ >= flushPoint_) Slide();
  }
  // Writes out the new bytes and keeps the history, once past FlushPoint().
  void Slide();
  // True when the next literal or match must be checked against StopAfter.
  TAbLogger* Log() const { return log_; }
  bool StopActive() const { return stopAfter_ > 0; }
  void CheckStop() {
    if (stopAfter_ > 0 && BytesProduced() >= stopAfter_) throw EAbPartSizedInflate();
  }

 private:
  void WriteOut();
  // The stream's bytes as the window: made a chunk (and the tail) longer.
  void GrowMemory();
  // Cuts the stream to the bytes made and leaves its position after them.
  void ReleaseMemory();

  uint8_t* buffer_;
  uint32_t checksum_;
  uint8_t* cursor_;
  uint8_t* flushed_;  // bytes before it have been written out
  uint8_t* checked_;  // bytes before it are in the checksum
  TAbLogger* log_;
  int64_t stopAfter_;
  int32_t history_;
  rtl::TStream& dest_;
  int64_t produced_ = 0;  // bytes written out (or counted) so far
  bool testOnly_;
  bool useCrc_;
  uint8_t* flushPoint_;
  rtl::TMemoryStream* memory_ = nullptr;  // the destination, when it is the window
  int64_t memoryStart_ = 0;               // where this decode's bytes start in it
};

}  // namespace ab
