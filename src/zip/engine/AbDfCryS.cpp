// The decryption engine and the decrypting stream of traditional ZIP
// encryption; the cipher itself is TAbZipKeys.
#include "zip/engine/AbDfCryS.h"

#include <cstring>

#include "rtl/Exception.h"

namespace ab {

bool TAbZipDecryptEngine::VerifyHeader(const uint8_t (&header)[kHeaderSize],
                                       const std::string& passphrase, uint32_t checkWord) {
  rtl::Assert(!passphrase.empty(), "TAbZipDecryptEngine.VerifyHeader: need a passphrase");
  keys_ = TAbZipKeys{};
  keys_.Init(passphrase);
  uint8_t copy[kHeaderSize];
  std::memcpy(copy, header, kHeaderSize);
  keys_.Decrypt(copy, kHeaderSize);
  ready_ = copy[kHeaderSize - 1] == static_cast<uint8_t>(checkWord >> 24);
  return ready_;
}

void TAbZipDecryptEngine::Decode(void* buffer, int32_t count) {
  rtl::Assert(ready_, "TAbZipDecryptEngine.Decode: must successfully call VerifyHeader first");
  if (count > 0) keys_.Decrypt(static_cast<uint8_t*>(buffer), static_cast<size_t>(count));
}

TAbDfDecryptStream::TAbDfDecryptStream(rtl::TStream& source, uint32_t checkWord,
                                       std::string passphrase)
    : checkWord_(checkWord), passphrase_(std::move(passphrase)), source_(source) {}

bool TAbDfDecryptStream::CheckHeader() {
  uint8_t header[TAbZipDecryptEngine::kHeaderSize];
  source_.ReadBuffer(header, TAbZipDecryptEngine::kHeaderSize);
  ready_ = engine_.VerifyHeader(header, passphrase_, checkWord_);
  if (!ready_) source_.Seek(-TAbZipDecryptEngine::kHeaderSize, rtl::soCurrent);
  return ready_;
}

int32_t TAbDfDecryptStream::Read(void* buffer, int32_t count) {
  rtl::Assert(ready_, "TAbDfDecryptStream.Read: the stream header has not been verified");
  const int32_t n = source_.Read(buffer, count);
  engine_.Decode(buffer, n);
  return n;
}

int32_t TAbDfDecryptStream::Write(const void*, int32_t) {
  throw rtl::EAssertionFailed("TAbDfDecryptStream.Write: the stream is read-only");
}

int64_t TAbDfDecryptStream::Seek(int64_t offset, int origin) {
  return source_.Seek(offset, origin);
}

}  // namespace ab
