// Traditional encryption for the tests: a 12-byte header whose last bytes
// carry the check word, then the data.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip/engine/AbUtils.h"

namespace legacy_test {

inline std::vector<uint8_t> Encrypt(const std::vector<uint8_t>& plain, const std::string& password,
                                    uint32_t checkWord) {
  ab::TAbZipKeys keys;
  keys.Init(password);
  std::vector<uint8_t> clear = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
  clear.push_back(static_cast<uint8_t>(checkWord >> 16));
  clear.push_back(static_cast<uint8_t>(checkWord >> 24));
  clear.insert(clear.end(), plain.begin(), plain.end());
  std::vector<uint8_t> sealed;
  for (uint8_t p : clear) {
    const uint32_t t = (keys.k2 & 0xFFFF) | 2;
    sealed.push_back(static_cast<uint8_t>(p ^ ((t * (t ^ 1)) >> 8)));
    keys.Update(p);
  }
  return sealed;
}

}  // namespace legacy_test
