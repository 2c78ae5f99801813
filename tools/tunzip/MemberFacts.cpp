#include "MemberFacts.h"

#include "Names.h"
#include "archive/AbExcept.h"
#include "archive/AbUtils.h"

namespace tunzip {

namespace {

constexpr uint8_t kHostUnix = 3;
constexpr uint8_t kHostMacOs = 19;
constexpr uint32_t kUnixTypeMask = 0170000;
constexpr uint32_t kUnixLink = 0120000;
constexpr uint32_t kUnixFolder = 0040000;
constexpr uint32_t kDosFolder = 0x10;

uint8_t HostOf(const ab::TAbZipItem& item) {
  return static_cast<uint8_t>(item.VersionMadeBy() >> 8);
}

bool MadeOnUnix(const ab::TAbZipItem& item) {
  return HostOf(item) == kHostUnix || HostOf(item) == kHostMacOs;
}

// The name with `/` between folders: in names made on Unix a `\` is a
// character like any other.
std::string SlashedName(const ab::TAbZipItem& item) {
  std::string name = MemberName(item);
  if (!MadeOnUnix(item)) {
    for (char& c : name)
      if (c == '\\') c = '/';
  }
  return name;
}

}  // namespace

std::string LeafName(const ab::TAbZipItem& item) {
  const std::string name = SlashedName(item);
  const size_t slash = name.find_last_of('/');
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  return leaf == "." || leaf == ".." ? std::string() : leaf;
}

MemberPath SplitMemberName(const ab::TAbZipItem& item) {
  const std::string name = SlashedName(item);
  const auto refuse = [&](const std::string& why) -> MemberPath {
    throw ab::EAbZipUnsafeName(ShownName(MemberName(item)) + " (" + why + ")");
  };
  if (!name.empty() && name.front() == '/') return refuse("an absolute name");
  if (name.size() >= 2 && name[1] == ':') return refuse("a name with a drive");
  MemberPath path;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find('/', start);
    if (end == std::string::npos) end = name.size();
    const std::string part = name.substr(start, end - start);
    if (part == "..") return refuse("a name that climbs out of its folder with ..");
    if (!part.empty() && part != ".") path.components.push_back(part);
    start = end + 1;
  }
  if (path.components.empty() && !IsFolderMember(item)) return refuse("an empty name");
  return path;
}

bool IsFolderMember(const ab::TAbZipItem& item) {
  const std::string& name = item.ItemName();
  if (!name.empty() && (name.back() == '/' || (name.back() == '\\' && !MadeOnUnix(item))))
    return true;
  if (MadeOnUnix(item) && (UnixModeOf(item) & kUnixTypeMask) == kUnixFolder) return true;
  return (DosAttributesOf(item) & kDosFolder) != 0;
}

bool IsLinkMember(const ab::TAbZipItem& item) {
  return (UnixModeOf(item) & kUnixTypeMask) == kUnixLink;
}

uint32_t UnixModeOf(const ab::TAbZipItem& item) {
  return MadeOnUnix(item) ? item.ExternalFileAttributes() >> 16 : 0;
}

uint32_t DosAttributesOf(const ab::TAbZipItem& item) {
  return item.ExternalFileAttributes() & 0xFF;
}

os::fs::FileTime ModifiedTimeOf(const ab::TAbZipItem& item) {
  // The DOS stamp is the maker's wall-clock time, read as ours.
  const ab::TAbDosDateTime dos =
      ab::DecodeDosDateTime(item.LastModFileDate(), item.LastModFileTime());
  const os::fs::LocalTime local{dos.year, dos.month, dos.day, dos.hour, dos.minute, dos.second};
  return os::fs::LocalToUtc(local).value_or(os::fs::FileTime{});
}

std::optional<os::fs::FileTime> AccessedTimeOf(const ab::TAbZipItem&) {
  return std::nullopt;
}

std::optional<MemberTime> MemberTimeOf(const ab::TAbZipItem& item) {
  return MemberTimeFromDos(item.LastModFileDate(), item.LastModFileTime());
}

uint64_t SizeOf(const ab::TAbZipItem& item) {
  return item.UncompressedSize();
}

}  // namespace tunzip
