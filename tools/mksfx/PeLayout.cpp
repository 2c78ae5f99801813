#include "PeLayout.h"

#include <algorithm>

namespace mksfx {

namespace {

constexpr uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
constexpr uint16_t kMagicPe32 = 0x10B;
constexpr uint16_t kMagicPe32Plus = 0x20B;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kCoffSymbolSize = 18;

// Little-endian reads that fail, rather than read past the end, on a
// truncated or hostile file.
class Reader {
 public:
  explicit Reader(const std::vector<uint8_t>& data) : data_(data) {}
  bool Has(uint64_t offset, uint64_t count) const {
    return offset <= data_.size() && count <= data_.size() - offset;
  }
  uint32_t U16(uint64_t offset) const {
    return Has(offset, 2) ? data_[offset] | (data_[offset + 1] << 8) : 0;
  }
  uint32_t U32(uint64_t offset) const {
    return Has(offset, 4) ? U16(offset) | (U16(offset + 2) << 16) : 0;
  }

 private:
  const std::vector<uint8_t>& data_;
};

}  // namespace

PeLayout ReadPeLayout(const std::vector<uint8_t>& file) {
  PeLayout layout;
  const Reader in(file);
  if (!in.Has(0, 64) || in.U16(0) != 0x5A4D) return layout;  // "MZ"
  const uint64_t pe = in.U32(0x3C);
  if (!in.Has(pe, 24) || in.U32(pe) != kPeSignature) return layout;
  const uint32_t sectionCount = in.U16(pe + 6);
  const uint32_t symbolTable = in.U32(pe + 12);
  const uint32_t symbolCount = in.U32(pe + 16);
  const uint32_t optionalSize = in.U16(pe + 20);
  const uint64_t optional = pe + 24;
  const uint64_t sections = optional + optionalSize;
  if (!in.Has(optional, optionalSize) || !in.Has(sections, uint64_t{sectionCount} * 40))
    return layout;
  const uint32_t magic = in.U16(optional);
  const uint64_t directories = optional + (magic == kMagicPe32Plus ? 112 : 96);
  if (magic != kMagicPe32 && magic != kMagicPe32Plus) return layout;
  const uint32_t directoryCount = in.U32(directories - 4);
  if (directoryCount > kSecurityDirectory &&
      directories + (kSecurityDirectory + 1) * 8 <= optional + optionalSize) {
    // The one data directory that holds a file offset rather than an address.
    layout.certificateOffset = in.U32(directories + kSecurityDirectory * 8);
    layout.certificateSize = in.U32(directories + kSecurityDirectory * 8 + 4);
  }
  uint64_t end = sections + uint64_t{sectionCount} * 40;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const uint64_t header = sections + uint64_t{i} * 40;
    const uint32_t rawSize = in.U32(header + 16);
    const uint32_t rawOffset = in.U32(header + 20);
    if (rawSize != 0) end = std::max(end, uint64_t{rawOffset} + rawSize);
  }
  if (symbolTable != 0) {
    // Unstripped images keep COFF symbols and their string table behind the
    // sections; the string table's first four bytes give its size.
    const uint64_t strings = uint64_t{symbolTable} + uint64_t{symbolCount} * kCoffSymbolSize;
    end = std::max(end, strings + (in.Has(strings, 4) ? in.U32(strings) : 0));
  }
  layout.isPe = true;
  layout.imageEnd = end;
  return layout;
}

}  // namespace mksfx
