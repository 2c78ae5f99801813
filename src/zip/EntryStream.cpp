#include "zip/EntryStream.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace zip {

namespace {

constexpr size_t kBlock = 64 * 1024;
constexpr size_t kBlocksAhead = 4;

// Thrown into the decoder when the reader has gone: it unwinds the decode.
struct ReaderGone {};

}  // namespace

struct EntryStream::Pipe final : Sink {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::vector<uint8_t>> blocks;
  size_t readInFront = 0;  // of blocks.front() already handed over
  bool finished = false;
  bool readerGone = false;
  std::exception_ptr failure;
  std::thread decoder;

  void Write(const uint8_t* bytes, size_t count) override {
    while (count > 0) {
      const size_t n = std::min(count, kBlock);
      std::unique_lock<std::mutex> lock(mutex);
      changed.wait(lock, [this] { return readerGone || blocks.size() < kBlocksAhead; });
      if (readerGone) throw ReaderGone{};
      blocks.emplace_back(bytes, bytes + n);
      changed.notify_all();
      bytes += n;
      count -= n;
    }
  }

  void Finish(std::exception_ptr error) {
    const std::lock_guard<std::mutex> lock(mutex);
    finished = true;
    failure = std::move(error);
    changed.notify_all();
  }
};

EntryStream::EntryStream(const Archive& archive, const Entry& entry, ReadOptions options)
    : pipe_(std::make_shared<Pipe>()) {
  pipe_->decoder = std::thread([pipe = pipe_, &archive, entry, options = std::move(options)] {
    try {
      Reader(archive).Extract(entry, *pipe, options);
      pipe->Finish(nullptr);
    } catch (const ReaderGone&) {
      pipe->Finish(nullptr);
    } catch (...) {
      pipe->Finish(std::current_exception());
    }
  });
}

EntryStream::~EntryStream() {
  {
    const std::lock_guard<std::mutex> lock(pipe_->mutex);
    pipe_->readerGone = true;
    pipe_->changed.notify_all();
  }
  pipe_->decoder.join();
}

size_t EntryStream::Read(void* buffer, size_t count) {
  Pipe& pipe = *pipe_;
  std::unique_lock<std::mutex> lock(pipe.mutex);
  pipe.changed.wait(lock, [&pipe] { return pipe.finished || !pipe.blocks.empty(); });
  if (pipe.blocks.empty()) {
    if (pipe.failure) std::rethrow_exception(pipe.failure);
    return 0;
  }
  auto* out = static_cast<uint8_t*>(buffer);
  size_t done = 0;
  while (done < count && !pipe.blocks.empty()) {
    const std::vector<uint8_t>& front = pipe.blocks.front();
    const size_t n = std::min(count - done, front.size() - pipe.readInFront);
    std::memcpy(out + done, front.data() + pipe.readInFront, n);
    done += n;
    pipe.readInFront += n;
    if (pipe.readInFront == front.size()) {
      pipe.blocks.pop_front();
      pipe.readInFront = 0;
      pipe.changed.notify_all();
    }
  }
  return done;
}

}  // namespace zip
