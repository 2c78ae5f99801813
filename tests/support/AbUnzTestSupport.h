// Shared pieces of the legacy decoder tests: a small ZIP directory reader for
// the corpus, a bit writer for hand-built streams and a one-call decode.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "rtl/Stream.h"
#include "zip/engine/AbUnzPrc.h"

namespace legacy_test {

struct ZipMember {
  std::string name;
  uint16_t flags = 0;
  uint16_t method = 0;
  uint32_t crc = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
  uint32_t dataOffset = 0;  // first byte after the local header
};

inline uint32_t Le(const std::vector<uint8_t>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b.at(at + static_cast<size_t>(i));
  return v;
}

// Members from the central directory, data offsets from the local headers.
inline std::vector<ZipMember> ReadZipDirectory(const std::vector<uint8_t>& zip) {
  std::vector<ZipMember> members;
  if (zip.size() < 22) return members;
  size_t end = zip.size() - 22;
  while (end > 0 && Le(zip, end, 4) != 0x06054b50) --end;
  if (Le(zip, end, 4) != 0x06054b50) return members;
  const uint32_t entries = Le(zip, end + 10, 2);
  size_t at = Le(zip, end + 16, 4);
  for (uint32_t i = 0; i < entries && Le(zip, at, 4) == 0x02014b50; ++i) {
    ZipMember m;
    m.flags = static_cast<uint16_t>(Le(zip, at + 8, 2));
    m.method = static_cast<uint16_t>(Le(zip, at + 10, 2));
    m.crc = Le(zip, at + 16, 4);
    m.compressedSize = Le(zip, at + 20, 4);
    m.uncompressedSize = Le(zip, at + 24, 4);
    const uint32_t nameLength = Le(zip, at + 28, 2);
    const uint32_t extraLength = Le(zip, at + 30, 2);
    const uint32_t commentLength = Le(zip, at + 32, 2);
    const uint32_t local = Le(zip, at + 42, 4);
    m.name.assign(reinterpret_cast<const char*>(zip.data()) + at + 46, nameLength);
    m.dataOffset = local + 30 + Le(zip, local + 26, 2) + Le(zip, local + 28, 2);
    members.push_back(m);
    at += 46 + nameLength + extraLength + commentLength;
  }
  return members;
}

// Packs values low bit first, as the legacy formats store them.
class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i) {
      if (used_ == 0) bytes_.push_back(0);
      if ((value >> i) & 1) bytes_.back() = static_cast<uint8_t>(bytes_.back() | (1u << used_));
      used_ = (used_ + 1) % 8;
    }
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  int used_ = 0;
};

struct DecodeResult {
  std::vector<uint8_t> output;
  uint32_t crc = 0;
  std::vector<int> progress;
};

struct DecodeSettings {
  uint8_t method = 1;
  int32_t uncompressedSize = 0;
  uint8_t dictionarySize = 0;
  uint8_t treeCount = 0;
  int32_t compressedSize = -1;  // -1: every byte from the offset on
  uint32_t offset = 0;          // where the member's data starts
  bool recordProgress = false;
};

// The settings for a corpus member, as the member decoder derives them.
inline DecodeSettings SettingsFor(const ZipMember& m) {
  DecodeSettings s;
  s.method = static_cast<uint8_t>(m.method);
  s.uncompressedSize = static_cast<int32_t>(m.uncompressedSize);
  s.compressedSize = static_cast<int32_t>(m.compressedSize);
  s.offset = m.dataOffset;
  if (m.method == 6) {
    s.dictionarySize = (m.flags & 2) != 0 ? 2 : 1;
    s.treeCount = (m.flags & 4) != 0 ? 3 : 2;
  }
  return s;
}

inline void Configure(ab::TAbUnzipHelper& helper, const DecodeSettings& s, int64_t available) {
  helper.SetCompressionMethod(s.method);
  helper.SetCompressedSize(s.compressedSize >= 0 ? s.compressedSize
                                                 : static_cast<int32_t>(available - s.offset));
  helper.SetUncompressedSize(s.uncompressedSize);
  helper.SetDictionarySize(s.dictionarySize);
  helper.SetShannonFanoTreeCount(s.treeCount);
}

// Decodes the member data at s.offset in the bytes with the given settings.
inline DecodeResult Decode(const std::vector<uint8_t>& data, const DecodeSettings& s,
                           ab::TAbZDecoder* decoder = nullptr) {
  rtl::TMemoryStream input(data);
  input.Seek(s.offset, rtl::soBeginning);
  rtl::TMemoryStream output;
  ab::TAbUnzipHelper helper(input, output, decoder);
  Configure(helper, s, static_cast<int64_t>(data.size()));
  DecodeResult result;
  if (s.recordProgress)
    helper.OnProgress = [&](uint8_t percent, bool&) { result.progress.push_back(percent); };
  result.crc = helper.Run();
  result.output = output.Bytes();
  return result;
}

inline std::vector<uint8_t> Bytes(const std::string& text) {
  return std::vector<uint8_t>(text.begin(), text.end());
}

}  // namespace legacy_test
