#include "archive/AbUtils.h"

namespace ab {

uint8_t Percentage(int32_t done, int32_t total) {
  if (total > 16384000) {
    done = static_cast<int32_t>((static_cast<uint32_t>(done) + 128u) >> 8);
    total = static_cast<int32_t>((static_cast<uint32_t>(total) + 128u) >> 8);
  }
  if (total <= 0) return 0;
  if (done >= total) return 100;
  return static_cast<uint8_t>(static_cast<int64_t>(done) * 100 / total);
}

void TAbZipKeys::Init(const std::string& password) {
  k0 = 0x12345678;
  k1 = 0x23456789;
  k2 = 0x34567890;
  for (char c : password) Update(static_cast<uint8_t>(c));
}

}  // namespace ab
