// What a program may add to the member decoder: methods and the WinZip AES
// cipher decoded by libraries the installer never links. The library's
// registry implements it; a job without one reads only the reader's own
// methods, as the installer does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "rtl/Stream.h"

namespace ab {

// AES in WinZip's counter mode with the HMAC-SHA1 of the encrypted bytes,
// as a crypto library gives it.
class TAbAesDecryptor {
 public:
  virtual ~TAbAesDecryptor() = default;
  // Authenticates then decrypts count bytes in place, continuing the
  // counter and the code from the previous call.
  virtual void Decrypt(uint8_t* bytes, size_t count) = 0;
  // The first 10 bytes of the HMAC-SHA1 over everything decrypted.
  virtual void AuthenticationCode(uint8_t code[10]) = 0;
};

class TAbMethodHook {
 public:
  virtual ~TAbMethodHook() = default;
  virtual bool DecodesMethod(uint16_t method) const = 0;
  // Decodes the member's data, span bytes of input from where it stands,
  // into output, reading no further than the span; raises on damaged data.
  // declaredSize is what the directory says the output holds.
  virtual void DecodeMethod(uint16_t method, uint16_t flags, uint64_t declaredSize,
                            rtl::TStream& input, uint64_t span, rtl::TStream& output) const = 0;

  virtual bool DecryptsWinZipAes() const = 0;
  // PBKDF2-HMAC-SHA1 of the password and salt, 1,000 rounds, length bytes.
  virtual std::string DeriveWinZipAesKeys(const std::string& password, const uint8_t* salt,
                                          size_t saltLength, size_t length) const = 0;
  virtual std::unique_ptr<TAbAesDecryptor> OpenAesDecryptor(const uint8_t* key, size_t keyLength,
                                                            const uint8_t* macKey) const = 0;
};

}  // namespace ab
