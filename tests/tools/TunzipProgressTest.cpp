// The progress line: shown only once a member has taken half a second,
// redrawn ten times a second at most, never above 100 %, erased before
// anything else is written.
#include <gtest/gtest.h>

#include <sstream>

#include "ProgressLine.h"

namespace {

using tunzip::ProgressLine;
using namespace std::chrono_literals;

TEST(TunzipProgress, ShowsOnlySlowMembersAndRedrawsTenTimesASecondAtMost) {
  ProgressLine::Clock::time_point now{};
  std::ostringstream out;
  ProgressLine line(out, true, 2, 3000000, [&now] { return now; });
  line.Start("fast.txt", 1000000);
  now += 400ms;
  line.Advance(90);
  EXPECT_EQ(out.str(), "");  // under half a second: nothing
  line.Finish();

  line.Start("slow.txt", 2000000);
  now += 600ms;
  line.Advance(50);
  const std::string first = out.str();
  EXPECT_NE(first.find(" 50%"), std::string::npos) << first;
  EXPECT_NE(first.find("member 2 of 2, 2 of 3 MB"), std::string::npos) << first;
  EXPECT_NE(first.find("slow.txt"), std::string::npos) << first;
  now += 50ms;
  line.Advance(60);
  EXPECT_EQ(out.str(), first);  // too soon after the last drawing
  now += 60ms;
  line.Advance(180);
  EXPECT_NE(out.str().find("100%"), std::string::npos) << out.str();
  line.Erase();
  EXPECT_EQ(out.str().substr(out.str().size() - 4), "\r\033[K");
  const size_t erased = out.str().size();
  line.Erase();  // nothing on the screen: nothing to take off
  EXPECT_EQ(out.str().size(), erased);

  std::ostringstream piped;
  ProgressLine off(piped, false, 1, 1, [&now] { return now; });
  off.Start("x", 1);
  now += 10s;
  off.Advance(50);
  EXPECT_EQ(piped.str(), "");
}

}  // namespace
