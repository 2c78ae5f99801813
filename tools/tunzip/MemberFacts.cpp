#include "MemberFacts.h"

namespace tunzip {

namespace {

os::fs::FileTime ToFileTime(const ab::TAbZipTime& time) {
  return {time.seconds, time.nanoseconds};
}

}  // namespace

ab::TAbMemberPath SplitMemberName(const ab::TAbZipItem& item) {
  // An absolute name is written below the target folder, as UnZip and 7-Zip
  // write it: the leading `/` alone is what would have taken it out.
  const std::string& name = item.UnicodeName();
  const size_t start = name.find_first_not_of('/');
  if (start == std::string::npos) return {{}, true};  // "/" is the target folder itself
  return ab::SplitMemberPath(name.substr(start));
}

std::string LeafName(const ab::TAbZipItem& item) {
  const std::string& name = item.UnicodeName();
  const size_t slash = name.find_last_of('/');
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  return leaf == "." || leaf == ".." ? std::string() : leaf;
}

os::fs::FileTime ModifiedTimeOf(const ab::TAbZipItem& item) {
  if (item.ModifiedTime()) return ToFileTime(*item.ModifiedTime());
  // The DOS stamp is the maker's wall-clock time, read as ours.
  const ab::TAbDosDateTime dos =
      ab::DecodeDosDateTime(item.LastModFileDate(), item.LastModFileTime());
  const os::fs::LocalTime local{dos.year, dos.month, dos.day, dos.hour, dos.minute, dos.second};
  return os::fs::LocalToUtc(local).value_or(os::fs::FileTime{});
}

std::optional<os::fs::FileTime> AccessedTimeOf(const ab::TAbZipItem& item) {
  if (item.AccessedTime()) return ToFileTime(*item.AccessedTime());
  return std::nullopt;
}

std::optional<MemberTime> MemberTimeOf(const ab::TAbZipItem& item) {
  if (item.ModifiedTime()) return MemberTime{item.ModifiedTime()->seconds, true};
  return MemberTimeFromDos(item.LastModFileDate(), item.LastModFileTime());
}

std::optional<uint32_t> PermissionsOf(const ab::TAbZipItem& item, bool keepSpecialBits) {
  if (!os::fs::KeepsUnixMetadata() || item.UnixMode() == 0) return std::nullopt;
  // setuid, setgid and sticky from an archive are a risk the user must ask for.
  return item.UnixMode() & (keepSpecialBits ? 07777u : 0777u);
}

}  // namespace tunzip
