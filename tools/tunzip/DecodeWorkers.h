// Worker threads that decode members while the main thread plans the next
// ones and commits the finished ones in catalogue order. Each worker reads
// the archive through a stream of its own, so that none waits on another's
// position in the file.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "archive/AbUnzMember.h"
#include "rtl/Stream.h"

namespace tunzip {

class DecodeWorkers {
 public:
  using Decode = std::function<void(const ab::TAbMemberSource&)>;

  // One worker for each source.
  explicit DecodeWorkers(std::vector<std::unique_ptr<rtl::TStream>> sources);
  // Waits for the decodes under way; those not yet started are dropped.
  ~DecodeWorkers();
  DecodeWorkers(const DecodeWorkers&) = delete;
  DecodeWorkers& operator=(const DecodeWorkers&) = delete;

  size_t Count() const { return threads_.size(); }
  // Runs decode on the next free worker; the future gives what it threw.
  std::future<void> Hand(Decode decode);

 private:
  void Work(rtl::TStream& source);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<void(const ab::TAbMemberSource&)>> queue_;
  bool closing_ = false;
  std::vector<std::unique_ptr<rtl::TStream>> sources_;
  std::vector<std::thread> threads_;
};

}  // namespace tunzip
