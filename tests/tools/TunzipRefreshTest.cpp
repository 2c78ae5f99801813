// -f and -u decide by the member's time against the file's, as UnZip does:
// cases checked against UnZip 6.00 (a member stamped 10:20:30, files
// stamped 10:20:28 to :31 beside it).
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "tunzip/Refresh.h"

namespace {

using tunzip::DecideRefresh;
using tunzip::MemberTime;
using tunzip::Refresh;
using tunzip::RefreshVerdict;

constexpr int64_t kMember = 1615026030;  // 2021-03-06 10:20:30 UTC

TEST(TunzipRefresh, WithoutFOrUEveryMemberIsWritten) {
  EXPECT_EQ(DecideRefresh(Refresh::kAll, MemberTime{kMember}, std::nullopt),
            RefreshVerdict::kWrite);
  EXPECT_EQ(DecideRefresh(Refresh::kAll, MemberTime{kMember}, kMember + 100),
            RefreshVerdict::kWrite);
}

TEST(TunzipRefresh, AMissingFileIsCreatedByUpdateOnly) {
  EXPECT_EQ(DecideRefresh(Refresh::kFreshen, MemberTime{kMember}, std::nullopt),
            RefreshVerdict::kSkipMissing);
  EXPECT_EQ(DecideRefresh(Refresh::kUpdate, MemberTime{kMember}, std::nullopt),
            RefreshVerdict::kWrite);
  // Even a member whose time is no time.
  EXPECT_EQ(DecideRefresh(Refresh::kUpdate, std::nullopt, std::nullopt), RefreshVerdict::kWrite);
}

TEST(TunzipRefresh, OnlyAnOlderFileIsReplacedWithDosTimesRoundedToTwoSeconds) {
  for (const Refresh refresh : {Refresh::kFreshen, Refresh::kUpdate}) {
    const MemberTime dos{kMember, false};
    EXPECT_EQ(DecideRefresh(refresh, dos, kMember - 2), RefreshVerdict::kWrite);
    // :29 counts as :30, the member's own second: not older.
    EXPECT_EQ(DecideRefresh(refresh, dos, kMember - 1), RefreshVerdict::kSkipUpToDate);
    EXPECT_EQ(DecideRefresh(refresh, dos, kMember), RefreshVerdict::kSkipUpToDate);
    EXPECT_EQ(DecideRefresh(refresh, dos, kMember + 1), RefreshVerdict::kSkipUpToDate);
    // An exact time is compared to the second.
    const MemberTime exact{kMember, true};
    EXPECT_EQ(DecideRefresh(refresh, exact, kMember - 1), RefreshVerdict::kWrite);
    EXPECT_EQ(DecideRefresh(refresh, exact, kMember), RefreshVerdict::kSkipUpToDate);
    // No usable time: the file stays.
    EXPECT_EQ(DecideRefresh(refresh, std::nullopt, 0), RefreshVerdict::kSkipUpToDate);
  }
}

TEST(TunzipRefresh, DosTimesAreLocalAndImpossibleDatesAreNone) {
  // 2021-03-06 10:20:30: date (41 << 9) | (3 << 5) | 6, time (10 << 11) | (20 << 5) | 15.
  const uint16_t date = (41 << 9) | (3 << 5) | 6;
  const uint16_t time = (10 << 11) | (20 << 5) | 15;
  std::tm local{};
  local.tm_year = 121;
  local.tm_mon = 2;
  local.tm_mday = 6;
  local.tm_hour = 10;
  local.tm_min = 20;
  local.tm_sec = 30;
  local.tm_isdst = -1;
  const std::optional<MemberTime> member = tunzip::MemberTimeFromDos(date, time);
  ASSERT_TRUE(member.has_value());
  EXPECT_EQ(member->seconds, static_cast<int64_t>(std::mktime(&local)));
  EXPECT_FALSE(member->exact);
  EXPECT_FALSE(tunzip::MemberTimeFromDos((41 << 9) | (13 << 5) | 6, time).has_value());
  EXPECT_FALSE(tunzip::MemberTimeFromDos((41 << 9) | (3 << 5) | 0, time).has_value());
  EXPECT_FALSE(tunzip::MemberTimeFromDos(date, (24 << 11)).has_value());
  // 2050-06-15 12:00:00, past the end of a 32-bit time_t (the 32-bit Windows
  // build's): within a day of that moment in UTC, whatever the zone.
  const std::optional<MemberTime> late =
      tunzip::MemberTimeFromDos((70 << 9) | (6 << 5) | 15, 12 << 11);
  ASSERT_TRUE(late.has_value());
  EXPECT_LT(std::abs(late->seconds - int64_t{2538907200}), 86400);
}

}  // namespace
