// Traditional ZIP decryption for the stored copy and the Deflate decoder: an
// engine that checks the 12-byte header and decrypts buffers, and a read-only
// stream that decrypts its source as it is read.
#pragma once

#include <cstdint>
#include <string>

#include "rtl/Stream.h"
#include "zip/engine/AbUtils.h"

namespace ab {

class TAbZipDecryptEngine {
 public:
  static constexpr int32_t kHeaderSize = 12;

  // Sets the keys up from the passphrase and decrypts a copy of the header;
  // true when its last byte equals the top byte of checkWord.
  bool VerifyHeader(const uint8_t (&header)[kHeaderSize], const std::string& passphrase,
                    uint32_t checkWord);
  // Decrypts in place, continuing the key stream.
  void Decode(void* buffer, int32_t count);

 private:
  bool ready_ = false;
  TAbZipKeys keys_;
};

class TAbDfDecryptStream : public rtl::TStream {
 public:
  TAbDfDecryptStream(rtl::TStream& source, uint32_t checkWord, std::string passphrase);

  // Reads and checks the header; on a mismatch the source is moved back to
  // where the header starts.
  bool CheckHeader();
  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Passed to the source unchanged.
  int64_t Seek(int64_t offset, int origin) override;

 private:
  uint32_t checkWord_;
  TAbZipDecryptEngine engine_;
  std::string passphrase_;
  bool ready_ = false;
  rtl::TStream& source_;
};

}  // namespace ab
