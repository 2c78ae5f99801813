// Worker threads that decode members while the main thread plans the next
// ones and commits the finished ones in catalogue order. Each worker reads
// the one archive through a reader of its own.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zip/Archive.h"

namespace tunzip {

class DecodeWorkers {
 public:
  using Decode = std::function<void(zip::Reader&)>;

  DecodeWorkers(const zip::Archive& archive, size_t count);
  // Waits for the decodes under way; those not yet started are dropped.
  ~DecodeWorkers();
  DecodeWorkers(const DecodeWorkers&) = delete;
  DecodeWorkers& operator=(const DecodeWorkers&) = delete;

  size_t Count() const { return threads_.size(); }
  // Runs decode on the next free worker; the future gives what it threw.
  std::future<void> Hand(Decode decode);

 private:
  void Work(zip::Reader& reader);

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::packaged_task<void(zip::Reader&)>> queue_;
  bool closing_ = false;
  std::vector<std::unique_ptr<zip::Reader>> readers_;
  std::vector<std::thread> threads_;
};

}  // namespace tunzip
