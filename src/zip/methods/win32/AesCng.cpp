// WinZip AES through the system's CNG (bcrypt.dll): PBKDF2, AES-ECB for the
// counter blocks, HMAC-SHA1. Nothing to ship beside the program.
#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <memory>
#include <new>
#include <vector>

#include "zip/methods/AesCounter.h"
#include "zip/methods/Decoders.h"

namespace zip::methods {

namespace {

constexpr ULONGLONG kRounds = 1000;

[[noreturn]] void CryptoFailed() {
  throw Error(Failure::kUnsupported, "the system's CNG refused WinZip AES");
}

void Check(NTSTATUS status) {
  if (status < 0) CryptoFailed();
}

class Provider {
 public:
  Provider(LPCWSTR algorithm, ULONG flags) {
    Check(BCryptOpenAlgorithmProvider(&handle_, algorithm, nullptr, flags));
  }
  ~Provider() { BCryptCloseAlgorithmProvider(handle_, 0); }
  Provider(const Provider&) = delete;
  Provider& operator=(const Provider&) = delete;
  BCRYPT_ALG_HANDLE Get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

class CngDecryptor final : public AesDecryptor {
 public:
  CngDecryptor(const uint8_t* key, size_t keyLength, const uint8_t* macKey)
      : aes_(BCRYPT_AES_ALGORITHM, 0),
        sha1_(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG),
        counter_([this](const uint8_t* in, uint8_t* out, size_t length) {
          ULONG made = 0;
          Check(BCryptEncrypt(key_, const_cast<PUCHAR>(in), static_cast<ULONG>(length), nullptr,
                              nullptr, 0, out, static_cast<ULONG>(length), &made, 0));
          if (made != length) CryptoFailed();
        }) {
    wchar_t ecb[] = BCRYPT_CHAIN_MODE_ECB;
    Check(BCryptSetProperty(aes_.Get(), BCRYPT_CHAINING_MODE, reinterpret_cast<PUCHAR>(ecb),
                            sizeof ecb, 0));
    Check(BCryptGenerateSymmetricKey(aes_.Get(), &key_, nullptr, 0, const_cast<PUCHAR>(key),
                                     static_cast<ULONG>(keyLength), 0));
    Check(BCryptCreateHash(sha1_.Get(), &hash_, nullptr, 0, const_cast<PUCHAR>(macKey),
                           static_cast<ULONG>(keyLength), 0));
  }
  ~CngDecryptor() override {
    if (hash_ != nullptr) BCryptDestroyHash(hash_);
    if (key_ != nullptr) BCryptDestroyKey(key_);
  }

  void Decrypt(uint8_t* bytes, size_t count) override {
    Check(BCryptHashData(hash_, bytes, static_cast<ULONG>(count), 0));
    counter_.Apply(bytes, count);
  }

  void AuthenticationCode(uint8_t code[10]) override {
    uint8_t full[20];
    Check(BCryptFinishHash(hash_, full, sizeof full, 0));
    std::memcpy(code, full, 10);
  }

 private:
  Provider aes_;
  Provider sha1_;
  BCRYPT_KEY_HANDLE key_ = nullptr;
  BCRYPT_HASH_HANDLE hash_ = nullptr;
  AesCounterStream counter_;
};

class CngCrypto final : public WinZipAesCrypto {
 public:
  std::string DeriveKeys(const std::string& password, const uint8_t* salt, size_t saltLength,
                         size_t length) const override {
    Provider sha1(BCRYPT_SHA1_ALGORITHM, BCRYPT_ALG_HANDLE_HMAC_FLAG);
    std::string keys(length, '\0');
    std::vector<UCHAR> secret(password.begin(), password.end());
    Check(BCryptDeriveKeyPBKDF2(sha1.Get(), secret.data(), static_cast<ULONG>(secret.size()),
                                const_cast<PUCHAR>(salt), static_cast<ULONG>(saltLength), kRounds,
                                reinterpret_cast<PUCHAR>(keys.data()), static_cast<ULONG>(length),
                                0));
    return keys;
  }
  std::unique_ptr<AesDecryptor> Open(const uint8_t* key, size_t keyLength,
                                     const uint8_t* macKey) const override {
    return std::make_unique<CngDecryptor>(key, keyLength, macKey);
  }
};

}  // namespace

std::shared_ptr<const WinZipAesCrypto> SystemAesCrypto() {
  return std::make_shared<CngCrypto>();
}

}  // namespace zip::methods
