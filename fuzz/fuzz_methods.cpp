// The registered methods and WinZip AES on arbitrary data: the first bytes
// choose the method (bzip2, LZMA with or without its end marker, XZ,
// Zstandard under both codes, or AES around one of them or Deflate), the
// declared size and, for AES, the version and whether the authentication
// code is right; the rest is the member's data, wrapped in a one-member
// archive. For AES the data is encrypted here with the right key and
// authenticated, so that the inner decoders see the fuzzed bytes. Failures
// must be zip::Error, never crashes or hangs, and no output may pass the
// declared size. (The reader fetches small entries a block at a time, so
// the source sees reads past the span that no decoder consumes: the span is
// held by the inputs the decoders get, not checked here.)
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "zip/Archive.h"
#include "zip/methods/Decoders.h"
#include "zip/methods/Register.h"

namespace {

constexpr char kPassword[] = "fuzz";
constexpr uint16_t kMethods[] = {12, 14, 95, 93, 20, 99};
constexpr uint16_t kInnerMethods[] = {8, 12, 14, 95, 93, 0};
constexpr uint8_t kSalt[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};

void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

// Salt, verifier, the data encrypted as WinZip does, and its code.
std::vector<uint8_t> EncryptAes(const uint8_t* data, size_t size, bool breakCode) {
  static const auto crypto = zip::methods::SystemAesCrypto();
  static const std::string keys = crypto->DeriveKeys(kPassword, kSalt, 16, 66);
  const auto* key = reinterpret_cast<const uint8_t*>(keys.data());
  std::vector<uint8_t> out(kSalt, kSalt + 16);
  out.insert(out.end(), key + 64, key + 66);
  const size_t start = out.size();
  out.insert(out.end(), data, data + size);
  // The counter mode is its own inverse; the code the decryptor keeps is
  // over the plain bytes here, so the real one is computed below.
  crypto->Open(key, 32, key + 32)->Decrypt(out.data() + start, size);
  unsigned char code[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  HMAC(EVP_sha1(), key + 32, 32, out.data() + start, size, code, &length);
  if (breakCode) code[3] ^= 1;
  out.insert(out.end(), code, code + 10);
  return out;
}

std::vector<uint8_t> OneMemberArchive(uint16_t method, uint16_t flags, uint32_t size,
                                      const std::vector<uint8_t>& extra,
                                      const std::vector<uint8_t>& data) {
  std::vector<uint8_t> zip;
  const auto header = [&](bool central) {
    Put32(zip, central ? 0x02014b50 : 0x04034b50);
    if (central) Put16(zip, 63);
    Put16(zip, 63);
    Put16(zip, flags);
    Put16(zip, method);
    Put32(zip, 0);
    Put32(zip, 0);  // CRC-32: the check fails after a whole decode
    Put32(zip, static_cast<uint32_t>(data.size()));
    Put32(zip, size);
    Put16(zip, 1);
    Put16(zip, static_cast<uint16_t>(extra.size()));
    if (central) {
      for (int i = 0; i < 4; ++i) Put16(zip, 0);
      Put32(zip, 0);
      Put32(zip, 0);
    }
    zip.push_back('m');
    zip.insert(zip.end(), extra.begin(), extra.end());
  };
  header(false);
  zip.insert(zip.end(), data.begin(), data.end());
  const size_t directory = zip.size();
  header(true);
  const size_t directorySize = zip.size() - directory;
  Put32(zip, 0x06054b50);
  Put32(zip, 0);
  Put16(zip, 1);
  Put16(zip, 1);
  Put32(zip, static_cast<uint32_t>(directorySize));
  Put32(zip, static_cast<uint32_t>(directory));
  Put16(zip, 0);
  return zip;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  static const bool registered = (zip::methods::RegisterAll(), true);
  (void)registered;
  if (size < 4) return 0;
  const uint8_t choice = input[0];
  const uint32_t declared = input[1] | input[2] << 8 | (input[3] & 0x0F) << 16;
  uint16_t method = kMethods[choice % 6];
  const uint16_t lzmaMarker = (choice & 0x40) != 0 ? 0x0002 : 0;
  std::vector<uint8_t> data(input + 4, input + size);
  std::vector<uint8_t> extra;
  uint16_t flags = lzmaMarker;
  if (method == 99) {
    const uint16_t inner = kInnerMethods[(choice >> 3) % 6];
    const uint8_t aesField[] = {0x01, 0x99, 7,   0, static_cast<uint8_t>(1 + ((choice >> 2) & 1)),
                                0,    'A',  'E', 3, static_cast<uint8_t>(inner),
                                0};
    extra.assign(aesField, aesField + sizeof aesField);
    data = EncryptAes(data.data(), data.size(), (choice & 0x80) != 0);
    flags |= 0x0001;
  }
  auto source =
      std::make_shared<zip::MemorySource>(OneMemberArchive(method, flags, declared, extra, data));
  try {
    const zip::Archive archive = zip::Archive::Open(source);
    const zip::Entry entry = archive.At(0);
    zip::CountingSink sink;
    zip::ReadOptions options;
    options.password = kPassword;
    if ((input[3] & 0x10) != 0) {
      archive.Extract(entry, sink, options);
    } else {
      archive.Test(entry, options);
    }
    if (sink.Count() > declared) std::abort();
  } catch (const zip::Error&) {
  }
  return 0;
}
