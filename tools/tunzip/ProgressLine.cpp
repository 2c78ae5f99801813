#include "ProgressLine.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

namespace tunzip {

ProgressLine::ProgressLine(std::ostream& out, bool enabled, uint64_t members, uint64_t bytes,
                           std::function<Clock::time_point()> now)
    : out_(out),
      enabled_(enabled),
      membersTotal_(members),
      bytesTotal_(bytes),
      now_(std::move(now)),
      runStart_(now_()) {}

void ProgressLine::Start(const std::string& shown, uint64_t size) {
  if (!enabled_) return;
  Erase();
  shown_ = shown;
  size_ = size;
  memberStart_ = now_();
  active_ = true;
}

void ProgressLine::Advance(uint8_t percent) {
  if (!enabled_ || !active_) return;
  const Clock::time_point at = now_();
  if (at - memberStart_ < kShowAfter || (drawn_ && at - lastDraw_ < kRedrawEvery)) return;
  Draw(std::min<uint8_t>(percent, 100), at);
}

void ProgressLine::Finish() {
  if (!enabled_) return;
  Erase();
  if (active_) {
    ++membersDone_;
    bytesDone_ += size_;
  }
  active_ = false;
}

void ProgressLine::Count(uint64_t size) {
  ++membersDone_;
  bytesDone_ += size;
}

void ProgressLine::Erase() {
  if (!drawn_) return;
  out_ << "\r\033[K" << std::flush;
  drawn_ = false;
}

void ProgressLine::Draw(uint8_t percent, Clock::time_point at) {
  const uint64_t member = size_ / 100 * percent + size_ % 100 * percent / 100;
  const uint64_t done = bytesDone_ + member;
  const double seconds = std::chrono::duration<double>(at - runStart_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0;
  char line[96];
  std::snprintf(line, sizeof line,
                "%3u%%  %7.1f MB/s  member %" PRIu64 " of %" PRIu64 ", %" PRIu64 " of %" PRIu64
                " MB  ",
                static_cast<unsigned>(percent), rate, membersDone_ + 1, membersTotal_,
                done / 1000000, bytesTotal_ / 1000000);
  std::string name = shown_;
  if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
  out_ << '\r' << line << name << "\033[K" << std::flush;
  drawn_ = true;
  lastDraw_ = at;
}

}  // namespace tunzip
