// Builds small ZIP archives byte by byte for the tests: stored members, any
// names and flags, data in front, an archive comment, and end records that
// lie about their counts or offsets.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"
#include "zip/engine/AbUtils.h"

namespace testing_support {

struct ZipMember {
  std::string name;
  std::string data;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint16_t date = 0x5A8E;  // 2025-04-14
  uint16_t time = 0x6000;  // 12:00:00
  std::string extra;
  std::string comment;
  // For compressed or encrypted members: the bytes stored, while data holds
  // what they decode to (and gives the CRC-32 and uncompressed size).
  std::string payload;
  bool hasPayload = false;
  uint16_t version = 20;
  int localMethod = -1;  // the local header's method when >= 0
  int64_t crc = -1;      // the CRC-32 to store when >= 0
  uint32_t attributes = 0x20;
  uint16_t madeBy = 20;  // host system in the high byte
  // The local header's extra field, when it differs from the central one.
  std::optional<std::string> localExtra;
  // Bytes behind the stored data that no size counts (a data descriptor).
  std::string trailer;
  // The local header offset the directory states, when >= 0.
  int64_t offsetOverride = -1;

  std::string Stored() const { return hasPayload ? payload : data; }
  uint32_t StoredCrc() const {
    return crc >= 0 ? static_cast<uint32_t>(crc) : ab::Crc32(data.data(), data.size());
  }
};

class ZipBuilder {
 public:
  std::string prefix;  // data in front of the archive
  std::string archiveComment;
  int totalEntriesOverride = -1;  // the end record's total, when >= 0
  int64_t directoryOffsetOverride = -1;
  int64_t directorySizeOverride = -1;  // the end record's directory size, when >= 0
  uint16_t diskNumber = 0;

  ZipBuilder& Add(ZipMember member) {
    members_.push_back(std::move(member));
    return *this;
  }
  ZipBuilder& Add(const std::string& name, const std::string& data) {
    ZipMember m;
    m.name = name;
    m.data = data;
    return Add(std::move(m));
  }

  std::vector<uint8_t> Build() const {
    std::string out = prefix;
    std::vector<uint32_t> offsets;
    for (const ZipMember& m : members_) {
      offsets.push_back(static_cast<uint32_t>(out.size()));
      U32(out, 0x04034B50);
      U16(out, m.version);
      U16(out, m.flags);
      U16(out, static_cast<uint16_t>(m.localMethod >= 0 ? m.localMethod : m.method));
      U16(out, m.time);
      U16(out, m.date);
      U32(out, m.StoredCrc());
      U32(out, static_cast<uint32_t>(m.Stored().size()));
      U32(out, static_cast<uint32_t>(m.data.size()));
      const std::string& localExtra = m.localExtra ? *m.localExtra : m.extra;
      U16(out, static_cast<uint16_t>(m.name.size()));
      U16(out, static_cast<uint16_t>(localExtra.size()));
      out += m.name + localExtra + m.Stored() + m.trailer;
    }
    const auto directory = static_cast<uint32_t>(out.size());
    for (size_t i = 0; i < members_.size(); ++i) {
      const ZipMember& m = members_[i];
      U32(out, 0x02014B50);
      U16(out, m.madeBy);
      U16(out, m.version);
      U16(out, m.flags);
      U16(out, m.method);
      U16(out, m.time);
      U16(out, m.date);
      U32(out, m.StoredCrc());
      U32(out, static_cast<uint32_t>(m.Stored().size()));
      U32(out, static_cast<uint32_t>(m.data.size()));
      U16(out, static_cast<uint16_t>(m.name.size()));
      U16(out, static_cast<uint16_t>(m.extra.size()));
      U16(out, static_cast<uint16_t>(m.comment.size()));
      U16(out, 0);
      U16(out, 0);
      U32(out, m.attributes);
      U32(out, m.offsetOverride >= 0 ? static_cast<uint32_t>(m.offsetOverride) : offsets[i]);
      out += m.name + m.extra + m.comment;
    }
    const auto size = static_cast<uint32_t>(out.size()) - directory;
    const auto total = static_cast<uint16_t>(
        totalEntriesOverride >= 0 ? totalEntriesOverride : static_cast<int>(members_.size()));
    U32(out, 0x06054B50);
    U16(out, diskNumber);
    U16(out, diskNumber);
    U16(out, total);
    U16(out, total);
    U32(out, directorySizeOverride >= 0 ? static_cast<uint32_t>(directorySizeOverride) : size);
    U32(out,
        directoryOffsetOverride >= 0 ? static_cast<uint32_t>(directoryOffsetOverride) : directory);
    U16(out, static_cast<uint16_t>(archiveComment.size()));
    out += archiveComment;
    return std::vector<uint8_t>(out.begin(), out.end());
  }

  std::unique_ptr<ab::TAbZipArchive> Open() const {
    return std::make_unique<ab::TAbZipArchive>(std::make_unique<rtl::TMemoryStream>(Build()),
                                               "memory.zip");
  }

  static void U16(std::string& out, uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
  }
  static void U32(std::string& out, uint32_t v) {
    U16(out, static_cast<uint16_t>(v & 0xFFFF));
    U16(out, static_cast<uint16_t>(v >> 16));
  }
  // Little-endian values as text, and an extra field block.
  static std::string Le32(uint32_t v) {
    std::string out;
    U32(out, v);
    return out;
  }
  static std::string Le64(uint64_t v) {
    return Le32(static_cast<uint32_t>(v)) + Le32(static_cast<uint32_t>(v >> 32));
  }
  static std::string ExtraBlock(uint16_t id, const std::string& data) {
    std::string out;
    U16(out, id);
    U16(out, static_cast<uint16_t>(data.size()));
    return out + data;
  }

 private:
  std::vector<ZipMember> members_;
};

}  // namespace testing_support
