#include "Refresh.h"

#include <ctime>

#include "archive/AbUtils.h"

namespace tunzip {

std::optional<MemberTime> MemberTimeFromDos(uint16_t dosDate, uint16_t dosTime) {
  const ab::TAbDosDateTime stamp = ab::DecodeDosDateTime(dosDate, dosTime);
  if (stamp.month < 1 || stamp.month > 12 || stamp.day < 1 || stamp.hour > 23 ||
      stamp.minute > 59 || stamp.second > 59)
    return std::nullopt;
  std::tm local{};
  local.tm_year = stamp.year - 1900;
  local.tm_mon = stamp.month - 1;
  local.tm_mday = stamp.day;
  local.tm_hour = stamp.hour;
  local.tm_min = stamp.minute;
  local.tm_sec = stamp.second;
  local.tm_isdst = -1;  // the zone's rule for that day
  const std::time_t when = std::mktime(&local);
  if (when == static_cast<std::time_t>(-1)) return std::nullopt;
  return MemberTime{static_cast<int64_t>(when), false};
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
