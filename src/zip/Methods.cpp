// The registry of methods and the cipher, and the member decoder's view of
// it. Registration happens before any read; reads only look.
#include "zip/Methods.h"

#include <algorithm>
#include <map>

#include "zip/MethodRegistry.h"

namespace zip {

namespace {

struct Registry {
  std::map<uint16_t, MethodDecoder> decoders;
  std::shared_ptr<const WinZipAesCrypto> aes;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// The decoder's stream as the method's input.
class StreamInput final : public MethodInput {
 public:
  StreamInput(rtl::TStream& stream, uint64_t span) : stream_(stream), remaining_(span) {}
  size_t Read(uint8_t* buffer, size_t count) override {
    const auto wanted = static_cast<int32_t>(std::min<uint64_t>({remaining_, count, 1u << 30}));
    if (wanted == 0) return 0;
    const int32_t n = stream_.Read(buffer, wanted);
    const size_t got = n > 0 ? static_cast<size_t>(n) : 0;
    remaining_ -= got;
    return got;
  }
  uint64_t Remaining() const override { return remaining_; }

 private:
  rtl::TStream& stream_;
  uint64_t remaining_;
};

class StreamOutput final : public Sink {
 public:
  explicit StreamOutput(rtl::TStream& stream) : stream_(stream) {}
  void Write(const uint8_t* bytes, size_t count) override {
    while (count > 0) {
      const auto chunk = static_cast<int32_t>(std::min<size_t>(count, 1u << 30));
      stream_.WriteBuffer(bytes, chunk);
      bytes += chunk;
      count -= static_cast<size_t>(chunk);
    }
  }

 private:
  rtl::TStream& stream_;
};

class AesDecryptorAdapter final : public ab::TAbAesDecryptor {
 public:
  explicit AesDecryptorAdapter(std::unique_ptr<AesDecryptor> decryptor)
      : decryptor_(std::move(decryptor)) {}
  void Decrypt(uint8_t* bytes, size_t count) override { decryptor_->Decrypt(bytes, count); }
  void AuthenticationCode(uint8_t code[10]) override { decryptor_->AuthenticationCode(code); }

 private:
  std::unique_ptr<AesDecryptor> decryptor_;
};

class RegistryHook final : public ab::TAbMethodHook {
 public:
  bool DecodesMethod(uint16_t method) const override { return IsMethodRegistered(method); }
  void DecodeMethod(uint16_t method, uint16_t flags, uint64_t declaredSize, rtl::TStream& input,
                    uint64_t span, rtl::TStream& output) const override {
    StreamInput in(input, span);
    StreamOutput out(output);
    TheRegistry().decoders.at(method)({method, flags, declaredSize}, in, out);
  }
  bool DecryptsWinZipAes() const override { return TheRegistry().aes != nullptr; }
  std::string DeriveWinZipAesKeys(const std::string& password, const uint8_t* salt,
                                  size_t saltLength, size_t length) const override {
    return TheRegistry().aes->DeriveKeys(password, salt, saltLength, length);
  }
  std::unique_ptr<ab::TAbAesDecryptor> OpenAesDecryptor(const uint8_t* key, size_t keyLength,
                                                        const uint8_t* macKey) const override {
    return std::make_unique<AesDecryptorAdapter>(TheRegistry().aes->Open(key, keyLength, macKey));
  }
};

}  // namespace

void RegisterMethod(uint16_t method, MethodDecoder decoder) {
  TheRegistry().decoders[method] = std::move(decoder);
}

bool IsMethodRegistered(uint16_t method) {
  return TheRegistry().decoders.count(method) != 0;
}

void RegisterWinZipAes(std::shared_ptr<const WinZipAesCrypto> crypto) {
  TheRegistry().aes = std::move(crypto);
}

const ab::TAbMethodHook& RegisteredMethods() {
  static const RegistryHook hook;
  return hook;
}

}  // namespace zip
