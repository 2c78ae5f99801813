#include "Stamps.h"

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

DosStamp FromTm(const std::tm* tm) {
  if (tm == nullptr) throw std::runtime_error("a file time that the calendar cannot hold");
  // A leap second reads as the second before it.
  return ToDosStamp(tm->tm_year + 1900, tm->tm_mon + 1, tm->tm_mday, tm->tm_hour, tm->tm_min,
                    tm->tm_sec > 59 ? 59 : tm->tm_sec);
}

// Times beyond the DOS range are clamped before they reach the C library,
// whose time_t may be 32 bits wide.
std::time_t ClampedTime(int64_t seconds) {
  constexpr int64_t kBefore1980 = 315446400;  // 1979-12-31 00:00:00 UTC
  constexpr int64_t kAfter2107 = 4355049600;  // 2108-01-02 00:00:00 UTC
  if (seconds < kBefore1980) seconds = kBefore1980;
  if (seconds > kAfter2107 && sizeof(std::time_t) >= 8) seconds = kAfter2107;
  if (sizeof(std::time_t) < 8 && seconds > 0x7FFFFFFF) seconds = 0x7FFFFFFF;
  return static_cast<std::time_t>(seconds);
}

}  // namespace

DosStamp DosStampUtc(int64_t seconds) {
  const std::time_t t = ClampedTime(seconds);
  return FromTm(std::gmtime(&t));
}

DosStamp DosStampLocal(int64_t seconds) {
  const std::time_t t = ClampedTime(seconds);
  return FromTm(std::localtime(&t));
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
