// -f and -u: whether a member should replace the file already in its place,
// or be written where there is none, judged by the member's stored time
// against the file's.
#pragma once

#include <cstdint>
#include <optional>

#include "Options.h"

namespace tunzip {

// A member's modification time in seconds since 1970-01-01 UTC. A DOS time
// counts in steps of two seconds; an exact time (a stored Unix or NTFS time)
// to the second.
struct MemberTime {
  int64_t seconds = 0;
  bool exact = false;
};

// The member's DOS date and time, which are local time, as a MemberTime;
// nothing for a date that is no date.
std::optional<MemberTime> MemberTimeFromDos(uint16_t dosDate, uint16_t dosTime);

enum class RefreshVerdict {
  kWrite,         // extract it (over a file only as the overwrite rule allows)
  kSkipMissing,   // -f: no file there to freshen
  kSkipUpToDate,  // the file there is as new as the member or newer
};

// fileTime: the existing file's modification time in seconds since 1970
// UTC, or nothing when there is no file in the member's place.
RefreshVerdict DecideRefresh(Refresh refresh, const std::optional<MemberTime>& member,
                             const std::optional<int64_t>& fileTime);

}  // namespace tunzip
