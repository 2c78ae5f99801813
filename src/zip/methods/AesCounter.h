// WinZip's counter mode over a block cipher that encrypts whole blocks
// (the crypto library's AES-ECB): the counter is a 16-byte little-endian
// number from 1, and a run of counter blocks is encrypted in one call so
// that the library's AES instructions see long inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>

namespace zip::methods {

class AesCounterStream {
 public:
  static constexpr size_t kBlock = 16;
  static constexpr size_t kRun = 256 * kBlock;
  // encrypt(in, out, length) encrypts whole blocks.
  using BlockCipher = std::function<void(const uint8_t*, uint8_t*, size_t)>;

  explicit AesCounterStream(BlockCipher encrypt) : encrypt_(std::move(encrypt)) {}

  void Apply(uint8_t* bytes, size_t count) {
    while (count > 0) {
      if (used_ == kRun) Refill();
      const size_t n = count < kRun - used_ ? count : kRun - used_;
      Xor(bytes, keystream_ + used_, n);
      used_ += n;
      bytes += n;
      count -= n;
    }
  }

 private:
  // A word at a time: the byte loop is not vectorised at -O2.
  static void Xor(uint8_t* bytes, const uint8_t* key, size_t n) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
      uint64_t a, b;
      std::memcpy(&a, bytes + i, 8);
      std::memcpy(&b, key + i, 8);
      a ^= b;
      std::memcpy(bytes + i, &a, 8);
    }
    for (; i < n; ++i) bytes[i] ^= key[i];
  }
  void Refill() {
    for (size_t at = 0; at < kRun; at += kBlock) {
      Increment();
      std::memcpy(counters_ + at, counter_, kBlock);
    }
    encrypt_(counters_, keystream_, kRun);
    used_ = 0;
  }
  void Increment() {
    for (uint8_t& byte : counter_)
      if (++byte != 0) break;
  }

  BlockCipher encrypt_;
  uint8_t counter_[kBlock] = {};
  uint8_t counters_[kRun];
  uint8_t keystream_[kRun];
  size_t used_ = kRun;
};

}  // namespace zip::methods
