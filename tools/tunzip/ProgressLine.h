// The progress line on a terminal: below the member lines, only while a
// member has taken longer than half a second, redrawn ten times a second at
// most; it shows the member's own percentage, the rate, and the members and
// bytes done of the whole run, and is erased before anything else is written.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace tunzip {

class ProgressLine {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr Clock::duration kShowAfter = std::chrono::milliseconds(500);
  static constexpr Clock::duration kRedrawEvery = std::chrono::milliseconds(100);

  // Nothing is ever drawn unless enabled (a terminal, not -q). now gives the
  // time: the clock, or a test's own.
  ProgressLine(std::ostream& out, bool enabled, uint64_t members, uint64_t bytes,
               std::function<Clock::time_point()> now = Clock::now);

  bool Enabled() const { return enabled_; }
  // A member of size bytes starts; shown is its name as messages show it.
  void Start(const std::string& shown, uint64_t size);
  // The member's decoder says how far it is (percentages above 100 are 100).
  void Advance(uint8_t percent);
  // The member started last is done, well or not: its bytes count as done.
  void Finish();
  // A member decoded on another thread is done.
  void Count(uint64_t size);
  // Takes the line off the screen, if it is there, before other output.
  void Erase();

 private:
  void Draw(uint8_t percent, Clock::time_point at);

  std::ostream& out_;
  const bool enabled_;
  const uint64_t membersTotal_;
  const uint64_t bytesTotal_;
  std::function<Clock::time_point()> now_;
  const Clock::time_point runStart_;

  std::string shown_;
  uint64_t size_ = 0;
  Clock::time_point memberStart_;
  Clock::time_point lastDraw_;
  bool drawn_ = false;
  bool active_ = false;
  uint64_t membersDone_ = 0;
  uint64_t bytesDone_ = 0;
};

}  // namespace tunzip
