// Version resources on the stand-in: the RT_VERSION resource is read straight
// from the PE file's resource section, and queries walk its VS_VERSIONINFO
// tree. Every offset in the file is checked before use: any file may be asked.
#include <fstream>
#include <iterator>
#include <string_view>

#include "os/os.h"
#include "os/posix/paths.h"
#include "os/text.h"

namespace os {

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kRtVersion = 16;
constexpr size_t kMaxFileSize = 256u << 20;  // more than any executable we are asked about

bool Read16(const Bytes& data, size_t offset, uint32_t& value) {
  if (offset > data.size() || data.size() - offset < 2) return false;
  value = data[offset] | (data[offset + 1] << 8);
  return true;
}

bool Read32(const Bytes& data, size_t offset, uint32_t& value) {
  if (offset > data.size() || data.size() - offset < 4) return false;
  value = data[offset] | (data[offset + 1] << 8) | (data[offset + 2] << 16) |
          (static_cast<uint32_t>(data[offset + 3]) << 24);
  return true;
}

struct Section {
  uint32_t virtualAddress, virtualSize, rawOffset, rawSize;
};

// The file offset of an RVA, through the section that holds it.
bool RvaToOffset(const std::vector<Section>& sections, uint32_t rva, size_t& offset) {
  for (const Section& s : sections) {
    const uint32_t extent = s.virtualSize != 0 ? s.virtualSize : s.rawSize;
    if (rva >= s.virtualAddress && rva - s.virtualAddress < extent &&
        rva - s.virtualAddress < s.rawSize) {
      offset = static_cast<size_t>(s.rawOffset) + (rva - s.virtualAddress);
      return true;
    }
  }
  return false;
}

// The first entry of a resource directory, or the one with the given id; the
// result is the entry's offset-to-data field (high bit: a subdirectory).
bool DirectoryEntry(const Bytes& file, size_t directory, bool byId, uint32_t id, uint32_t& target) {
  uint32_t named = 0, ids = 0;
  if (!Read16(file, directory + 12, named) || !Read16(file, directory + 14, ids)) return false;
  for (uint32_t i = 0; i < named + ids; ++i) {
    const size_t entry = directory + 16 + 8 * static_cast<size_t>(i);
    uint32_t name = 0;
    if (!Read32(file, entry, name) || !Read32(file, entry + 4, target)) return false;
    if (!byId || ((name & 0x80000000u) == 0 && name == id)) return true;
  }
  return false;
}

// The VS_VERSIONINFO resource of a PE image, or empty.
Bytes VersionResource(const Bytes& file) {
  uint32_t peOffset = 0, signature = 0;
  if (!Read16(file, 0, signature) || signature != 0x5A4D) return {};
  if (!Read32(file, 0x3C, peOffset) || !Read32(file, peOffset, signature) ||
      signature != 0x00004550)
    return {};
  const size_t coff = static_cast<size_t>(peOffset) + 4;
  uint32_t sectionCount = 0, optionalSize = 0, magic = 0;
  if (!Read16(file, coff + 2, sectionCount) || !Read16(file, coff + 16, optionalSize)) return {};
  const size_t optional = coff + 20;
  if (!Read16(file, optional, magic)) return {};
  size_t directories = 0;
  if (magic == 0x10B) {
    directories = 96;
  } else if (magic == 0x20B) {
    directories = 112;
  } else {
    return {};
  }
  uint32_t directoryCount = 0, resourceRva = 0, resourceSize = 0;
  if (!Read32(file, optional + directories - 4, directoryCount) || directoryCount < 3) return {};
  if (directories + 24 > optionalSize) return {};
  if (!Read32(file, optional + directories + 16, resourceRva) ||
      !Read32(file, optional + directories + 20, resourceSize) || resourceRva == 0)
    return {};

  std::vector<Section> sections;
  const size_t table = optional + optionalSize;
  for (uint32_t i = 0; i < sectionCount; ++i) {
    const size_t header = table + 40 * static_cast<size_t>(i);
    Section s{};
    if (!Read32(file, header + 8, s.virtualSize) || !Read32(file, header + 12, s.virtualAddress) ||
        !Read32(file, header + 16, s.rawSize) || !Read32(file, header + 20, s.rawOffset))
      return {};
    sections.push_back(s);
  }
  size_t root = 0;
  if (!RvaToOffset(sections, resourceRva, root)) return {};

  // Type RT_VERSION, then the first name, then the first language.
  uint32_t target = 0;
  size_t directory = root;
  for (int level = 0; level < 3; ++level) {
    if (!DirectoryEntry(file, directory, level == 0, kRtVersion, target)) return {};
    const bool subdirectory = (target & 0x80000000u) != 0;
    if (subdirectory != (level < 2)) return {};
    directory = root + (target & 0x7FFFFFFFu);
  }
  uint32_t dataRva = 0, dataSize = 0;
  size_t data = 0;
  if (!Read32(file, directory, dataRva) || !Read32(file, directory + 4, dataSize)) return {};
  if (!RvaToOffset(sections, dataRva, data) || data > file.size() ||
      file.size() - data < dataSize || dataSize < 6)
    return {};
  return Bytes(file.begin() + static_cast<std::ptrdiff_t>(data),
               file.begin() + static_cast<std::ptrdiff_t>(data + dataSize));
}

// One node of a VS_VERSIONINFO tree (wLength, wValueLength, wType, szKey,
// value, children; each piece 32-bit aligned from the block's start).
struct Node {
  size_t start = 0, end = 0;
  std::u16string key;
  size_t value = 0, valueBytes = 0;
  bool text = false;
  size_t children = 0;
};

bool ReadNode(const Bytes& block, size_t start, size_t limit, Node& node) {
  uint32_t length = 0, valueLength = 0, type = 0;
  if (!Read16(block, start, length) || !Read16(block, start + 2, valueLength) ||
      !Read16(block, start + 4, type))
    return false;
  if (length < 6 || length > limit - start) return false;
  node.start = start;
  node.end = start + length;
  node.text = type == 1;
  node.key.clear();
  size_t pos = start + 6;
  for (;;) {
    uint32_t unit = 0;
    if (pos + 2 > node.end || !Read16(block, pos, unit)) return false;
    pos += 2;
    if (unit == 0) break;
    node.key += static_cast<char16_t>(unit);
  }
  pos = (pos + 3) & ~static_cast<size_t>(3);
  node.value = pos;
  node.valueBytes = node.text ? 2 * static_cast<size_t>(valueLength) : valueLength;
  if (node.value > node.end || node.valueBytes > node.end - node.value) {
    // Some tools count a text's length in bytes; keep what the node holds.
    node.valueBytes = node.value > node.end ? 0 : node.end - node.value;
  }
  node.children = (node.value + node.valueBytes + 3) & ~static_cast<size_t>(3);
  return true;
}

// UTF-16 as the program's text, the way the ANSI calls answer it.
std::string AnsiOf(std::u16string_view wide) {
  return text::Utf8ToWin1252(text::Utf16ToUtf8(wide));
}

bool SameKey(const std::u16string& key, std::string_view name) {
  return text::SameTextAscii(AnsiOf(key), name);
}

// A text value as VerQueryValueA answers it: Windows-1252, up to its zero.
Bytes AnsiText(const Bytes& block, const Node& node) {
  std::u16string wide;
  for (size_t pos = node.value; pos + 1 < node.value + node.valueBytes; pos += 2) {
    const auto unit = static_cast<char16_t>(block[pos] | (block[pos + 1] << 8));
    if (unit == 0) break;
    wide += unit;
  }
  const std::string ansi = AnsiOf(wide);
  return Bytes(ansi.begin(), ansi.end());
}

}  // namespace

std::vector<uint8_t> FileVersionInfo(const std::string& path) {
  std::ifstream in(posix::NativePath(path), std::ios::binary);
  if (!in) return {};
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size <= 0 || static_cast<uint64_t>(size) > kMaxFileSize) return {};
  in.seekg(0);
  Bytes file(static_cast<size_t>(size));
  if (!in.read(reinterpret_cast<char*>(file.data()), size)) return {};
  return VersionResource(file);
}

std::optional<std::vector<uint8_t>> QueryVersionValue(const std::vector<uint8_t>& info,
                                                      const std::string& subBlock) {
  Node node;
  if (!ReadNode(info, 0, info.size(), node) || !SameKey(node.key, "VS_VERSION_INFO"))
    return std::nullopt;
  size_t pos = 0;
  while (pos < subBlock.size()) {
    while (pos < subBlock.size() && subBlock[pos] == '\\') ++pos;
    if (pos >= subBlock.size()) break;
    const size_t next = std::min(subBlock.find('\\', pos), subBlock.size());
    const std::string_view name(subBlock.data() + pos, next - pos);
    pos = next;
    bool found = false;
    for (size_t child = node.children; child + 6 <= node.end;) {
      Node candidate;
      if (!ReadNode(info, child, node.end, candidate)) break;
      if (SameKey(candidate.key, name)) {
        node = candidate;
        found = true;
        break;
      }
      child = (candidate.end + 3) & ~static_cast<size_t>(3);
    }
    if (!found) return std::nullopt;
  }
  if (node.text) return AnsiText(info, node);
  return Bytes(info.begin() + static_cast<std::ptrdiff_t>(node.value),
               info.begin() + static_cast<std::ptrdiff_t>(node.value + node.valueBytes));
}

}  // namespace os
