// Members decoded ahead of their turn, by a worker or on this thread while
// the workers go on, and committed strictly in catalogue order, so that
// files, messages and the exit code are those of one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <string>

#include "Targets.h"
#include "TextLines.h"
#include "os/fs.h"
#include "zip/Archive.h"

namespace tunzip {

// The decoder's output, written into a file that is not yet in place; with
// textLines, converted after the decoder has checked the CRC-32 of the bytes
// as stored.
class PendingFileSink final : public zip::Sink {
 public:
  PendingFileSink(os::fs::PendingFile& file, bool textLines) : file_(file) {
    if (textLines) lines_ = std::make_unique<TextLines>();
  }
  void Write(const uint8_t* bytes, size_t count) override;
  // Why the last write failed, in the system's words.
  const std::string& Reason() const { return reason_; }

 private:
  os::fs::PendingFile& file_;
  std::unique_ptr<TextLines> lines_;
  std::string converted_;
  std::string reason_;
};

// One member waiting for its turn.
struct PendingMember {
  zip::Entry entry;
  Target target;
  std::unique_ptr<os::fs::PendingFile> file;  // none when testing
  std::unique_ptr<PendingFileSink> output;    // the file's sink, none when testing
  bool folder = false;                        // a folder member, to be recorded
  bool folderMade = false;                    // ... which this run made
  std::future<void> decoded;
};

class InOrderCommits {
 public:
  // commit finishes a member in its turn; its decode may still run, and
  // decoded.get() waits for it and says how it ended.
  explicit InOrderCommits(std::function<void(PendingMember&)> commit)
      : commit_(std::move(commit)) {}

  bool Empty() const { return waiting_.empty(); }
  uint64_t Added() const { return added_; }
  // A new member behind the others, once fewer than limit wait.
  PendingMember& Add(const zip::Entry& entry, const Target& target, size_t limit);
  // Commits every member waiting.
  void Drain();

 private:
  void CommitOldest();

  std::function<void(PendingMember&)> commit_;
  std::deque<PendingMember> waiting_;
  uint64_t added_ = 0;
};

// A decode that has already run on this thread, as a worker's would be seen.
std::future<void> DecodedHere(const std::function<void()>& decode);

}  // namespace tunzip
