#include "DecodeWorkers.h"

#include <utility>

namespace tunzip {

DecodeWorkers::DecodeWorkers(const zip::Archive& archive, size_t count) {
  for (size_t i = 0; i < count; ++i) readers_.push_back(std::make_unique<zip::Reader>(archive));
  threads_.reserve(count);
  for (const std::unique_ptr<zip::Reader>& reader : readers_)
    threads_.emplace_back([this, reader = reader.get()] { Work(*reader); });
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
  std::packaged_task<void(zip::Reader&)> task(std::move(decode));
  std::future<void> done = task.get_future();
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(std::move(task));
  }
  wake_.notify_one();
  return done;
}

void DecodeWorkers::Work(zip::Reader& reader) {
  for (;;) {
    std::packaged_task<void(zip::Reader&)> task;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (closing_) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    task(reader);
  }
}

}  // namespace tunzip
