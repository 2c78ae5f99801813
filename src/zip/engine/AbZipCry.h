// Traditional PKWARE decryption for the legacy decoders: checks the 12-byte
// encryption header, asking for another password while tries remain, and
// then decrypts the member's data block by block.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "rtl/Stream.h"
#include "zip/engine/AbUtils.h"

namespace ab {

class TAbZDecoder {
 public:
  static constexpr int32_t kHeaderSize = 12;

  // Asked for the next password after a wrong one; what it leaves in
  // newPassword (empty included) is tried next.
  using TPasswordRequest = std::function<void(TAbZDecoder& sender, std::string& newPassword)>;

  // oneCheckByte: compare only the header's last byte with the top byte of
  // checkWord; otherwise the byte before it as well. The source is not owned.
  TAbZDecoder(std::string password, bool oneCheckByte, uint32_t checkWord, rtl::TStream& source);
  virtual ~TAbZDecoder() = default;
  TAbZDecoder(const TAbZDecoder&) = delete;
  TAbZDecoder& operator=(const TAbZDecoder&) = delete;

  // Reads the header at the source's position and checks it against each
  // password in turn; raises EAbZipInvalidPassword when the tries run out.
  // On success the source stands just after the header.
  bool DecryptHeader();
  // Decrypts in place, continuing the key stream.
  void DecryptBuffer(void* buffer, int32_t count);
  // Replaces password with the handler's answer; raises EAbZipInvalidPassword
  // when no handler is set.
  virtual void RequestNewPassword(std::string& password);

  TPasswordRequest OnPasswordRequest;

  const std::string& Password() const { return password_; }
  void SetPassword(std::string password) { password_ = std::move(password); }
  uint8_t Retries() const { return retries_; }
  void SetRetries(uint8_t retries) { retries_ = retries; }

 private:
  TAbZipKeys keys_;
  std::array<uint8_t, kHeaderSize> header_{};
  uint32_t checkWord_;
  bool oneCheckByte_;
  std::string password_;
  uint8_t retries_ = 3;
  rtl::TStream& source_;
};

}  // namespace ab
