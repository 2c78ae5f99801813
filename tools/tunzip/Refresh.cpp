#include "Refresh.h"

#include "os/fs.h"
#include "zip/Entry.h"

namespace tunzip {

std::optional<MemberTime> MemberTimeFromDos(uint16_t dosDate, uint16_t dosTime) {
  const zip::DosDateTime stamp = zip::DecodeDosDateTime(dosDate, dosTime);
  if (stamp.month < 1 || stamp.month > 12 || stamp.day < 1 || stamp.hour > 23 ||
      stamp.minute > 59 || stamp.second > 59)
    return std::nullopt;
  // Through the system layer, whose Windows side reaches 2107 where the
  // 32-bit build's time_t ends in 2038.
  const std::optional<os::fs::FileTime> when = os::fs::LocalToUtc(
      {stamp.year, stamp.month, stamp.day, stamp.hour, stamp.minute, stamp.second});
  if (!when) return std::nullopt;
  return MemberTime{when->seconds, false};
}

RefreshVerdict DecideRefresh(Refresh refresh, const std::optional<MemberTime>& member,
                             const std::optional<int64_t>& fileTime) {
  if (refresh == Refresh::kAll) return RefreshVerdict::kWrite;
  if (!fileTime)
    return refresh == Refresh::kUpdate ? RefreshVerdict::kWrite : RefreshVerdict::kSkipMissing;
  // A member without a usable time cannot be shown to be newer: the file
  // there stays.
  if (!member) return RefreshVerdict::kSkipUpToDate;
  int64_t existing = *fileTime;
  // A DOS time is always even: the file a member was extracted to, or the
  // file it was made from, may carry the odd second before it, and is no
  // older for that.
  if (!member->exact && (existing & 1) != 0) existing += 1;
  return member->seconds > existing ? RefreshVerdict::kWrite : RefreshVerdict::kSkipUpToDate;
}

}  // namespace tunzip
