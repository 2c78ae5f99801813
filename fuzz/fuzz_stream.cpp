// The stream reader on arbitrary bytes, handed over in reads of a size the
// input chooses: each member found is tested or extracted (or passed over),
// and the directory compared. Failures must be zip::Error, never crashes,
// hangs or sanitizer reports; no member may hand on more than its sizes
// then say.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "zip/StreamReader.h"

namespace {

class FuzzInput final : public zip::Input {
 public:
  FuzzInput(const uint8_t* data, size_t size)
      : data_(data), size_(size), step_(size > 0 ? 1 + data[0] % 64 * 1021 : 1) {}
  size_t Read(void* buffer, size_t count) override {
    const size_t n = std::min({count, size_ - at_, step_});
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t step_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzInput input(data, size);
  zip::StreamReader reader(input);
  zip::ReadOptions reading;
  reading.password = "12345678";
  try {
    size_t index = 0;
    while (const zip::Entry* entry = reader.Next()) {
      try {
        switch (index++ % 3) {
          case 0:
            reader.Test(reading);
            break;
          case 1: {
            zip::CountingSink sink;
            reader.Extract(sink, reading);
            if (sink.Count() != entry->Size()) __builtin_trap();
            break;
          }
          default:
            break;
        }
      } catch (const zip::Error&) {
      }
    }
  } catch (const zip::Error&) {
  }
  return 0;
}
