// The decoders of zip_methods, each over its library, and what they share.
#pragma once

#include <memory>
#include <string>

#include "zip/Error.h"
#include "zip/Methods.h"

namespace zip::methods {

// Sizes of the buffers between the span, a library and the sink: large
// enough that a call into the library costs little per byte.
inline constexpr size_t kInputBuffer = 1 << 16;
inline constexpr size_t kOutputBuffer = 1 << 17;

[[noreturn]] inline void Damaged(const std::string& rule) {
  throw Error(Failure::kDamaged, rule);
}

void DecodeBzip2(const MethodEntry& entry, MethodInput& input, Sink& output);
// Method 14: the 4-byte version and size header, the 5 property bytes, then
// LZMA with or without its end marker (flag bit 1).
void DecodeLzma(const MethodEntry& entry, MethodInput& input, Sink& output);
void DecodeXz(const MethodEntry& entry, MethodInput& input, Sink& output);
void DecodeZstd(const MethodEntry& entry, MethodInput& input, Sink& output);

std::shared_ptr<const WinZipAesCrypto> SystemAesCrypto();

}  // namespace zip::methods
