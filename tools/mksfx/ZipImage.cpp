#include "ZipImage.h"

#include <stdexcept>

#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipRecords.h"

namespace mksfx {

namespace {

constexpr uint16_t kVersionDeflate = 20;  // 2.0; high byte 0: made on MS-DOS
constexpr uint16_t kVersionStored = 10;
constexpr uint16_t kMethodStored = 0;
constexpr uint32_t kAttributeArchive = 0x20;

void Put16(Bytes& out, uint32_t value) {
  out.push_back(static_cast<uint8_t>(value));
  out.push_back(static_cast<uint8_t>(value >> 8));
}

void Put32(Bytes& out, uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

uint32_t Checked32(uint64_t value, const std::string& what) {
  if (value > 0xFFFFFFFEu) throw std::runtime_error(what + " is too large for a ZIP without ZIP64");
  return static_cast<uint32_t>(value);
}

// The fields local and central headers share, from "version needed" to
// the name's length; the extra field is always empty.
void PutCommonFields(Bytes& out, const PackedMember& member) {
  Put16(out, member.method == kMethodStored ? kVersionStored : kVersionDeflate);
  Put16(out, 0);  // flags
  Put16(out, member.method);
  Put16(out, member.stamp.time);
  Put16(out, member.stamp.date);
  Put32(out, member.crc);
  Put32(out, static_cast<uint32_t>(member.stored.size()));
  Put32(out, member.size);
  Put16(out, static_cast<uint32_t>(member.name.size()));
  Put16(out, 0);
}

}  // namespace

PackedMember PackMember(const std::string& name, DosStamp stamp, const Bytes& data) {
  PackedMember member;
  member.name = name;
  member.stamp = stamp;
  member.size = Checked32(data.size(), name);
  member.crc = ab::Crc32(data.data(), data.size());
  member.stored = CompressRaw(data);
  if (member.stored.size() >= data.size()) {
    member.method = kMethodStored;
    member.stored = data;
  }
  Checked32(member.stored.size(), name);
  return member;
}

void AppendZip(Bytes& image, const std::vector<PackedMember>& members) {
  if (members.size() > 0xFFFF) throw std::runtime_error("more than 65,535 files");
  std::vector<uint32_t> offsets;
  for (const PackedMember& member : members) {
    if (member.name.empty() || member.name.size() > 0xFFFF)
      throw std::runtime_error("a member name of " + std::to_string(member.name.size()) + " bytes");
    offsets.push_back(Checked32(image.size(), "the output"));
    Put32(image, ab::kAbZipLocalFileHeaderSignature);
    PutCommonFields(image, member);
    image.insert(image.end(), member.name.begin(), member.name.end());
    image.insert(image.end(), member.stored.begin(), member.stored.end());
  }
  const uint32_t directoryOffset = Checked32(image.size(), "the output");
  for (size_t i = 0; i < members.size(); ++i) {
    Put32(image, ab::kAbZipCentralDirectorySignature);
    Put16(image, kVersionDeflate);  // made by
    PutCommonFields(image, members[i]);
    Put16(image, 0);  // comment length
    Put16(image, 0);  // disk
    Put16(image, 0);  // internal attributes
    Put32(image, kAttributeArchive);
    Put32(image, offsets[i]);
    image.insert(image.end(), members[i].name.begin(), members[i].name.end());
  }
  const uint32_t directorySize = Checked32(image.size() - directoryOffset, "the directory");
  Put32(image, ab::kAbZipEndCentralDirectorySignature);
  Put16(image, 0);  // this disk
  Put16(image, 0);  // the directory's disk
  Put16(image, static_cast<uint32_t>(members.size()));
  Put16(image, static_cast<uint32_t>(members.size()));
  Put32(image, directorySize);
  Put32(image, directoryOffset);
  Put16(image, 0);  // comment length
  Checked32(image.size(), "the output");
}

}  // namespace mksfx
