// WinZip AES through OpenSSL's libcrypto: PBKDF2, AES-ECB for the counter
// blocks, HMAC-SHA1.
#include <openssl/core_names.h>
#include <openssl/evp.h>

#include <memory>
#include <new>

#include "zip/methods/AesCounter.h"
#include "zip/methods/Decoders.h"

namespace zip::methods {

namespace {

constexpr int kRounds = 1000;

struct CipherFree {
  void operator()(EVP_CIPHER_CTX* c) const { EVP_CIPHER_CTX_free(c); }
};
struct MacFree {
  void operator()(EVP_MAC_CTX* c) const { EVP_MAC_CTX_free(c); }
};

[[noreturn]] void CryptoFailed() {
  throw Error(Failure::kUnsupported, "the crypto library refused WinZip AES");
}

const EVP_CIPHER* EcbFor(size_t keyLength) {
  switch (keyLength) {
    case 16:
      return EVP_aes_128_ecb();
    case 24:
      return EVP_aes_192_ecb();
    default:
      return EVP_aes_256_ecb();
  }
}

class OpenSslDecryptor final : public AesDecryptor {
 public:
  OpenSslDecryptor(const uint8_t* key, size_t keyLength, const uint8_t* macKey)
      : cipher_(EVP_CIPHER_CTX_new()),
        counter_([this](const uint8_t* in, uint8_t* out, size_t length) {
          int made = 0;
          if (EVP_EncryptUpdate(cipher_.get(), out, &made, in, static_cast<int>(length)) != 1 ||
              static_cast<size_t>(made) != length)
            CryptoFailed();
        }) {
    if (!cipher_) throw std::bad_alloc();
    if (EVP_EncryptInit_ex(cipher_.get(), EcbFor(keyLength), nullptr, key, nullptr) != 1)
      CryptoFailed();
    EVP_CIPHER_CTX_set_padding(cipher_.get(), 0);
    EVP_MAC* hmac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
    if (hmac == nullptr) CryptoFailed();
    mac_.reset(EVP_MAC_CTX_new(hmac));
    EVP_MAC_free(hmac);
    char digest[] = "SHA1";
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0),
                                 OSSL_PARAM_END};
    if (!mac_ || EVP_MAC_init(mac_.get(), macKey, keyLength, params) != 1) CryptoFailed();
  }

  void Decrypt(uint8_t* bytes, size_t count) override {
    if (EVP_MAC_update(mac_.get(), bytes, count) != 1) CryptoFailed();
    counter_.Apply(bytes, count);
  }

  void AuthenticationCode(uint8_t code[10]) override {
    uint8_t full[EVP_MAX_MD_SIZE];
    size_t length = 0;
    if (EVP_MAC_final(mac_.get(), full, &length, sizeof full) != 1 || length < 10) CryptoFailed();
    std::memcpy(code, full, 10);
  }

 private:
  std::unique_ptr<EVP_CIPHER_CTX, CipherFree> cipher_;
  std::unique_ptr<EVP_MAC_CTX, MacFree> mac_;
  AesCounterStream counter_;
};

class OpenSslCrypto final : public WinZipAesCrypto {
 public:
  std::string DeriveKeys(const std::string& password, const uint8_t* salt, size_t saltLength,
                         size_t length) const override {
    std::string keys(length, '\0');
    if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()), salt,
                               static_cast<int>(saltLength), kRounds, static_cast<int>(length),
                               reinterpret_cast<unsigned char*>(keys.data())) != 1)
      CryptoFailed();
    return keys;
  }
  std::unique_ptr<AesDecryptor> Open(const uint8_t* key, size_t keyLength,
                                     const uint8_t* macKey) const override {
    return std::make_unique<OpenSslDecryptor>(key, keyLength, macKey);
  }
};

}  // namespace

std::shared_ptr<const WinZipAesCrypto> SystemAesCrypto() {
  return std::make_shared<OpenSslCrypto>();
}

}  // namespace zip::methods
