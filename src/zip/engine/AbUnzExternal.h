// Members decoded with what a program registered (TAbMethodHook): methods
// of outside libraries, and WinZip AES around any method. The framing, the
// password loop and the checks are the reader's; the library does only the
// arithmetic.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "zip/engine/AbMemberChain.h"
#include "zip/engine/AbMethodHook.h"

namespace ab {

// WinZip's AES block: the writer's version (1: AE-1, with a CRC-32; 2: AE-2,
// without), the key size (1, 2, 3 for 128, 192, 256 bits) and the method
// the data was compressed with before it was encrypted.
struct TAbWinZipAesField {
  uint16_t vendorVersion = 0;
  uint8_t strength = 0;
  uint16_t method = 0;

  size_t KeyLength() const { return 8u + 8u * strength; }
  size_t SaltLength() const { return KeyLength() / 2; }
  // The salt and the password verifier before the data, the code after it.
  uint64_t Overhead() const { return SaltLength() + 2 + 10; }
};

// The block in an extra field, when it is there and whole; nothing when it
// is absent or names a version, vendor or strength WinZip never defined.
std::optional<TAbWinZipAesField> ReadWinZipAesField(std::string_view extraField);

// Decodes a method of the hook's from the member's data, where source
// stands, into output; returns the CRC-32 of what it wrote.
uint32_t DecodeHookedMember(uint16_t method, const TAbMemberJob& job, const TAbMemberSource& source,
                            rtl::TStream& output);

// Decrypts and authenticates an AES member, handing the plain data to
// decodeInner as the source of a job for the inner method; returns its
// CRC-32. Raises EAbZipInvalidPassword when no password opens it and
// EAbZipAesAuthentication when its code does not match the data.
using TAbInnerDecoder = std::function<uint32_t(const TAbMemberJob&, const TAbMemberSource&)>;
uint32_t DecodeWinZipAesMember(const TAbMemberJob& job, const TAbMemberSource& source,
                               const TAbWinZipAesField& field, const TAbInnerDecoder& decodeInner);

}  // namespace ab
