#include "Refresh.h"

#include <ctime>

namespace tunzip {

std::optional<MemberTime> MemberTimeFromDos(uint16_t dosDate, uint16_t dosTime) {
  std::tm local{};
  local.tm_year = ((dosDate >> 9) & 0x7F) + 80;
  local.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  local.tm_mday = dosDate & 0x1F;
  local.tm_hour = (dosTime >> 11) & 0x1F;
  local.tm_min = (dosTime >> 5) & 0x3F;
  local.tm_sec = (dosTime & 0x1F) * 2;
  local.tm_isdst = -1;
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 ||
      local.tm_min > 59 || local.tm_sec > 59)
    return std::nullopt;
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
