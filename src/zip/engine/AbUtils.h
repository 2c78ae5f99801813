// Helpers shared by the archive reader: the traditional cipher's keys,
// Percentage, the path and mask helpers and the DOS date and time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "zip/engine/AbCrc32.h"

namespace ab {

// The little-endian value of width bytes (at most 8), as ZIP records store
// their fields.
inline uint64_t LoadLittleEndian(const void* bytes, size_t width) {
  const auto* b = static_cast<const uint8_t*>(bytes);
  uint64_t value = 0;
  for (size_t i = width; i-- > 0;) value = (value << 8) | b[i];
  return value;
}

// The position a seek with this origin (0 start, 1 current, 2 end) asks for
// in a stream at position of size bytes; -1 for one before the start.
int64_t SeekTarget(int64_t offset, int origin, int64_t position, int64_t size);

// done * 100 / total, rounded towards zero: 0 when total <= 0, 100 when
// done >= total. Totals above 16,384,000 are scaled down first so that the
// product cannot overflow.
uint8_t Percentage(int32_t done, int32_t total);
// done * 100 / total rounded to the nearest integer, ties to even, as the
// progress of a member's data is reported: 0 when total <= 0, above 100 when
// done > total.
int32_t RoundedPercentage(int64_t done, int64_t total);

// The three keys of the traditional PKWARE cipher.
struct TAbZipKeys {
  uint32_t k0 = 0x12345678;
  uint32_t k1 = 0x23456789;
  uint32_t k2 = 0x34567890;

  // Sets the keys up from the password's bytes.
  void Init(const std::string& password);
  void Update(uint8_t plain) {
    // A CRC-32 step without the start value or the final complement.
    k0 = UpdateCrc32(k0, plain);
    k1 = (k1 + (k0 & 0xFF)) * 134775813u + 1;
    k2 = UpdateCrc32(k2, static_cast<uint8_t>(k1 >> 24));
  }
  uint8_t DecryptByte(uint8_t cipher) {
    const uint32_t t = (k2 & 0xFFFF) | 2;
    const auto plain = static_cast<uint8_t>(cipher ^ ((t * (t ^ 1)) >> 8));
    Update(plain);
    return plain;
  }
  void Decrypt(uint8_t* buffer, size_t count) {
    for (size_t i = 0; i < count; ++i) buffer[i] = DecryptByte(buffer[i]);
  }
};

// The low length bits (at most 16) of code in reverse order: Huffman and
// Shannon-Fano codes are sent from their most significant bit, and the bit
// readers deliver the least significant first.
// Inline: the table builders call it once for every code.
namespace detail {
inline constexpr std::array<uint8_t, 256> kReversedByte = [] {
  std::array<uint8_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    int reversed = 0;
    for (int bit = 0; bit < 8; ++bit) reversed |= ((i >> bit) & 1) << (7 - bit);
    table[static_cast<size_t>(i)] = static_cast<uint8_t>(reversed);
  }
  return table;
}();
}  // namespace detail

inline uint32_t ReverseBits(uint32_t code, int length) {
  const uint32_t reversed16 = (uint32_t{detail::kReversedByte[code & 0xFF]} << 8) |
                              detail::kReversedByte[(code >> 8) & 0xFF];
  return reversed16 >> (16 - length);
}

// ---- Paths and masks ---------------------------------------------------------
// Names and masks compare without regard to the case of a-z only; `*` and `?`
// are the only wildcards.

// Turns every `/` into `\`.
void SlashesToBackslashes(std::string& text);

// The part up to and including the last `\` or `:` ("" when there is none),
// and the part after it.
std::string FolderPart(const std::string& path);
std::string NamePart(const std::string& path);

struct TAbPathSpec {
  std::string drive;   // "C:" or "\\SERVER\SHARE"; "" when the path has none
  std::string folder;  // below the drive, with its trailing `\`
  std::string name;
};
// Splits a path (after turning `/` into `\`) into drive, folder and name.
TAbPathSpec SplitPathSpec(const std::string& path);

// The 1-based position of the character just before the n-th `\` of text;
// text's length when it holds fewer than n.
int32_t NthBackslashPos(const std::string& text, int32_t n);

// Whether source matches pattern as a whole: `*` any run (`\` included), `?`
// one character. An empty source matches only an empty pattern; "*" and "*.*"
// match every other source, names without a dot included.
bool WildcardMatch(const std::string& source, const std::string& pattern);

// Whether a file name matches a mask: folder parts are compared only when the
// mask has one, name parts always.
bool FileMaskMatch(const std::string& fileName, const std::string& mask);

// ---- Member paths ---------------------------------------------------------------

// A member name split into the components of a path below the target folder.
struct TAbMemberPath {
  std::vector<std::string> components;  // outermost first; the last is the leaf
  bool isFolder = false;                // the name ended in `/`
  // The last component ("" for a folder name that is the target itself).
  std::string Leaf() const { return components.empty() ? std::string() : components.back(); }
};

// Splits a member's Unicode name (UTF-8, `/` between folders) into its
// components, dropping empty and `.` ones. EAbZipUnsafeName, saying what is
// wrong, for a name that is absolute (a leading `/`), starts with a drive
// (`C:`), holds a `..` component, or has no component but is not a folder.
// A `:` elsewhere is left to the file system layer.
TAbMemberPath SplitMemberPath(const std::string& unicodeName);

// ---- DOS date and time --------------------------------------------------------

struct TAbDosDateTime {
  int year = 1980;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
// The fields as stored, unchecked (a damaged stamp may give month 15).
TAbDosDateTime DecodeDosDateTime(uint16_t dosDate, uint16_t dosTime);

}  // namespace ab
