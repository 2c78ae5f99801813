// Traditional decryption for the legacy decoders (see AbZipCry.h).
#include "zip/engine/AbZipCry.h"

#include "zip/engine/AbExcept.h"

namespace ab {

TAbZDecoder::TAbZDecoder(std::string password, bool oneCheckByte, uint32_t checkWord,
                         rtl::TStream& source)
    : checkWord_(checkWord),
      oneCheckByte_(oneCheckByte),
      password_(std::move(password)),
      source_(source) {}

bool TAbZDecoder::DecryptHeader() {
  const int64_t start = source_.Position();
  for (uint8_t i = 0; i < retries_; ++i) {
    keys_.Init(password_);
    source_.Seek(start, rtl::soBeginning);
    header_.fill(0);
    // A short header is decrypted as far as it goes; it fails the check or,
    // at worst, the member's CRC-32.
    const int32_t got = source_.Read(header_.data(), kHeaderSize);
    keys_.Decrypt(header_.data(), static_cast<size_t>(got > 0 ? got : 0));
    bool ok = header_[11] == static_cast<uint8_t>(checkWord_ >> 24);
    if (!oneCheckByte_) ok = ok && header_[10] == static_cast<uint8_t>(checkWord_ >> 16);
    if (ok) return true;
    // Only a password that will be tried is asked for.
    if (i + 1 < retries_) RequestNewPassword(password_);
  }
  throw EAbZipInvalidPassword();
}

void TAbZDecoder::DecryptBuffer(void* buffer, int32_t count) {
  if (count > 0) keys_.Decrypt(static_cast<uint8_t*>(buffer), static_cast<size_t>(count));
}

void TAbZDecoder::RequestNewPassword(std::string& password) {
  if (!OnPasswordRequest) throw EAbZipInvalidPassword();
  OnPasswordRequest(*this, password);
}

}  // namespace ab
