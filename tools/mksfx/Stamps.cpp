#include "Stamps.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

namespace mksfx {

DosStamp ToDosStamp(int year, int month, int day, int hour, int minute, int second) {
  if (year < 1980) return {static_cast<uint16_t>((1 << 5) | 1), 0};
  if (year > 2107) return ToDosStamp(2107, 12, 31, 23, 59, 58);
  DosStamp stamp;
  stamp.date = static_cast<uint16_t>(((year - 1980) << 9) | (month << 5) | day);
  stamp.time = static_cast<uint16_t>((hour << 11) | (minute << 5) | (second / 2));
  return stamp;
}

namespace {

constexpr int64_t kBefore1980 = 315446400;  // 1979-12-31 00:00:00 UTC
constexpr int64_t kAfter2107 = 4355049600;  // 2108-01-02 00:00:00 UTC

// Times beyond the DOS range are clamped first: a day either side still
// clamps to the range's end in any time zone.
int64_t Clamped(int64_t seconds) {
  return seconds < kBefore1980 ? kBefore1980 : seconds > kAfter2107 ? kAfter2107 : seconds;
}

}  // namespace

DosStamp DosStampUtc(int64_t seconds) {
  // Calendar arithmetic of our own: the C library's time_t is 32 bits wide
  // in the 32-bit Windows build and ends in 2038.
  using namespace std::chrono;
  const int64_t clamped = Clamped(seconds);
  const int64_t day = clamped / 86400;
  const int64_t second = clamped % 86400;
  const year_month_day date{sys_days{days{day}}};
  return ToDosStamp(
      static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
      static_cast<int>(static_cast<unsigned>(date.day())), static_cast<int>(second / 3600),
      static_cast<int>(second / 60 % 60), static_cast<int>(second % 60));
}

DosStamp DosStampLocal(int64_t seconds) {
#ifdef _WIN32
  // The 64-bit calls: time_t ends in 2038 in the 32-bit build.
  const __time64_t t = Clamped(seconds);
  const std::tm* tm = _localtime64(&t);
#else
  static_assert(sizeof(std::time_t) >= 8, "a time_t that reaches 2107");
  const std::time_t t = static_cast<std::time_t>(Clamped(seconds));
  const std::tm* tm = std::localtime(&t);
#endif
  if (tm == nullptr) throw std::runtime_error("a file time that the calendar cannot hold");
  // A leap second reads as the second before it.
  return ToDosStamp(tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min,
                    tm->tm_sec > 59 ? 59 : tm->tm_sec);
}

std::optional<int64_t> ParseSourceDateEpoch(const std::string& text) {
  if (text.empty()) return std::nullopt;
  int64_t seconds = 0;
  for (char c : text) {
    if (c < '0' || c > '9' || seconds > (INT64_MAX - 9) / 10)
      throw std::runtime_error("SOURCE_DATE_EPOCH is not a number of seconds: " + text);
    seconds = seconds * 10 + (c - '0');
  }
  return seconds;
}

}  // namespace mksfx
