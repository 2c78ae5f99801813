#include "InOrderCommits.h"

#include "rtl/Exception.h"

namespace tunzip {

void PendingFileSink::Write(const uint8_t* bytes, size_t count) {
  if (lines_) {
    lines_->Convert(bytes, count, converted_);
    bytes = reinterpret_cast<const uint8_t*>(converted_.data());
    count = converted_.size();
  }
  if (!file_.Write(bytes, count)) {
    reason_ = os::fs::LastErrorText();
    throw rtl::EWriteError();
  }
}

PendingMember& InOrderCommits::Add(const zip::Entry& entry, const Target& target, size_t limit) {
  while (waiting_.size() >= limit) CommitOldest();
  PendingMember& member = waiting_.emplace_back();
  member.entry = entry;
  member.target = target;
  ++added_;
  return member;
}

void InOrderCommits::Drain() {
  while (!waiting_.empty()) CommitOldest();
}

void InOrderCommits::CommitOldest() {
  // Out of the queue before it is committed: the members behind it are
  // still there for the commit to see.
  PendingMember member = std::move(waiting_.front());
  waiting_.pop_front();
  commit_(member);
}

std::future<void> DecodedHere(const std::function<void()>& decode) {
  std::promise<void> done;
  try {
    decode();
    done.set_value();
  } catch (...) {
    done.set_exception(std::current_exception());
  }
  return done.get_future();
}

}  // namespace tunzip
