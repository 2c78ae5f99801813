// What the Inflate targets decode into: a memory stream that refuses to grow
// past a cap, so that a tiny input describing gigabytes of output ends
// quickly.
#pragma once

#include <cstdint>

#include "rtl/Exception.h"
#include "rtl/Stream.h"

template <int64_t kCap>
class TCappedMemoryStream : public rtl::TMemoryStream {
 public:
  int32_t Write(const void* buffer, int32_t count) override {
    if (Position() + count > kCap) {
      // Seen by the harness even where the decoder swallows the error: the
      // flush of what came before a failure.
      refused = true;
      throw rtl::EWriteError();
    }
    return rtl::TMemoryStream::Write(buffer, count);
  }
  bool refused = false;
};
