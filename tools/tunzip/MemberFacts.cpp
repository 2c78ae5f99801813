#include "MemberFacts.h"

namespace tunzip {

namespace {

os::fs::FileTime ToFileTime(const zip::Time& time) {
  return {time.seconds, time.nanoseconds};
}

}  // namespace

zip::MemberPath SplitMemberName(const zip::Entry& entry) {
  // An absolute name is written below the target folder, as UnZip and 7-Zip
  // write it: the leading `/` alone is what would have taken it out.
  const std::string& name = entry.Name();
  const size_t start = name.find_first_not_of('/');
  if (start == std::string::npos) return {{}, true};  // "/" is the target folder itself
  return zip::SplitMemberPath(name.substr(start));
}

std::string LeafName(const zip::Entry& entry) {
  const std::string& name = entry.Name();
  const size_t slash = name.find_last_of('/');
  const std::string leaf = slash == std::string::npos ? name : name.substr(slash + 1);
  return leaf == "." || leaf == ".." ? std::string() : leaf;
}

os::fs::FileTime ModifiedTimeOf(const zip::Entry& entry) {
  if (entry.Modified()) return ToFileTime(*entry.Modified());
  // The DOS stamp is the maker's wall-clock time, read as ours.
  const zip::DosDateTime dos = zip::DecodeDosDateTime(entry.DosDate(), entry.DosTime());
  const os::fs::LocalTime local{dos.year, dos.month, dos.day, dos.hour, dos.minute, dos.second};
  return os::fs::LocalToUtc(local).value_or(os::fs::FileTime{});
}

std::optional<os::fs::FileTime> AccessedTimeOf(const zip::Entry& entry) {
  if (entry.Accessed()) return ToFileTime(*entry.Accessed());
  return std::nullopt;
}

std::optional<MemberTime> MemberTimeOf(const zip::Entry& entry) {
  if (entry.Modified()) return MemberTime{entry.Modified()->seconds, true};
  return MemberTimeFromDos(entry.DosDate(), entry.DosTime());
}

std::optional<uint32_t> PermissionsOf(const zip::Entry& entry, bool keepSpecialBits) {
  if (!os::fs::KeepsUnixMetadata() || entry.UnixMode() == 0) return std::nullopt;
  // setuid, setgid and sticky from an archive are a risk the user must ask for.
  return entry.UnixMode() & (keepSpecialBits ? 07777u : 0777u);
}

}  // namespace tunzip
