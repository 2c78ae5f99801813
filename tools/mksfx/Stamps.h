// The DOS date and time stamped on each member: the file's own modification
// time in local time, as the installer will stamp the file it writes, or
// SOURCE_DATE_EPOCH for a build that must not depend on when files were touched.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace mksfx {

struct DosStamp {
  uint16_t date = 0;
  uint16_t time = 0;
  bool operator==(const DosStamp&) const = default;
};

// A broken-down time to a DOS stamp: odd seconds round down, years before
// 1980 become 1980-01-01 00:00:00, years after 2107 2107-12-31 23:59:58.
DosStamp ToDosStamp(int year, int month, int day, int hour, int minute, int second);

// Seconds since 1970-01-01 UTC, broken down in UTC or in local time.
DosStamp DosStampUtc(int64_t seconds);
DosStamp DosStampLocal(int64_t seconds);

// The value of SOURCE_DATE_EPOCH: nothing when the text is empty; raises
// std::runtime_error when it is not a whole number of seconds.
std::optional<int64_t> ParseSourceDateEpoch(const std::string& text);

}  // namespace mksfx
