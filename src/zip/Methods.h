// Methods and the WinZip AES cipher beyond the reader's own, decoded by
// libraries the program that wants them links (zip_methods gives bzip2,
// LZMA, XZ, Zstandard and AES; see zip/methods/Register.h). Register them
// once, before the first entry is read; the registry is then read from any
// thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "zip/Sink.h"

namespace zip {

// An entry's compressed bytes, and never more than its span.
class MethodInput {
 public:
  virtual ~MethodInput() = default;
  // Up to count bytes; 0 only once the span is read.
  virtual size_t Read(uint8_t* buffer, size_t count) = 0;
  virtual uint64_t Remaining() const = 0;
};

struct MethodEntry {
  uint16_t method = 0;
  uint16_t flags = 0;
  // What the directory declares; the reader stops output beyond it.
  uint64_t size = 0;
};

// Decodes input into output, throwing a zip::Error (kDamaged for damaged
// data) when it cannot. The reader checks the size and the CRC-32.
using MethodDecoder = std::function<void(const MethodEntry&, MethodInput&, Sink&)>;

void RegisterMethod(uint16_t method, MethodDecoder decoder);
bool IsMethodRegistered(uint16_t method);

// AES-CTR as WinZip counts (a little-endian block counter from 1) with the
// HMAC-SHA1 of the encrypted bytes.
class AesDecryptor {
 public:
  virtual ~AesDecryptor() = default;
  // Authenticates, then decrypts in place.
  virtual void Decrypt(uint8_t* bytes, size_t count) = 0;
  virtual void AuthenticationCode(uint8_t code[10]) = 0;
};

class WinZipAesCrypto {
 public:
  virtual ~WinZipAesCrypto() = default;
  // PBKDF2-HMAC-SHA1, 1,000 rounds.
  virtual std::string DeriveKeys(const std::string& password, const uint8_t* salt,
                                 size_t saltLength, size_t length) const = 0;
  virtual std::unique_ptr<AesDecryptor> Open(const uint8_t* key, size_t keyLength,
                                             const uint8_t* macKey) const = 0;
};

void RegisterWinZipAes(std::shared_ptr<const WinZipAesCrypto> crypto);

}  // namespace zip
