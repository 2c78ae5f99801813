#include "DecodeWorkers.h"

#include <utility>

namespace tunzip {

DecodeWorkers::DecodeWorkers(std::vector<std::unique_ptr<rtl::TStream>> sources)
    : sources_(std::move(sources)) {
  threads_.reserve(sources_.size());
  for (const std::unique_ptr<rtl::TStream>& source : sources_)
    threads_.emplace_back([this, stream = source.get()] { Work(*stream); });
}

DecodeWorkers::~DecodeWorkers() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

std::future<void> DecodeWorkers::Hand(Decode decode) {
  std::packaged_task<void(const ab::TAbMemberSource&)> task(std::move(decode));
  std::future<void> done = task.get_future();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
  }
  wake_.notify_one();
  return done;
}

void DecodeWorkers::Work(rtl::TStream& stream) {
  // No progress from the workers: the main thread reports each member as it
  // commits it, in catalogue order.
  const ab::TAbMemberSource source{stream, nullptr};
  for (;;) {
    std::packaged_task<void(const ab::TAbMemberSource&)> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (closing_) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task(source);
  }
}

}  // namespace tunzip
