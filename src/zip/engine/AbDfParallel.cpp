// Parallel Inflate of a single Deflate stream.
//
// A Deflate stream is a chain of blocks, each of which may copy from the 32 KiB
// (Deflate64: 64 KiB) of output before it, and nothing marks where a block
// starts. The compressed input is cut into chunks of chunkInput bytes; chunk
// k is the part of the stream whose blocks start in its bytes [kC, (k+1)C).
// Workers take the chunks in order, each into a buffer (a slot) of its own,
// one chunk per worker and kSlotsAhead more beyond the one being put together:
//
//   - Chunk 0 starts at bit 0 with an empty window, and is decoded as the
//     sequential decoder would, into bytes.
//   - Any other chunk guesses where its first block starts: FindBlockStart
//     names the first bit in its bytes that reads as the header of a
//     non-final dynamic block with complete codes, or of a non-final stored
//     block, and the worker decodes from there. It does not know the window,
//     so it writes 16-bit symbols: a literal as itself, a match as copies of
//     the symbols it reaches, and the window before the chunk as markers
//     256 + i for its byte i (a window of W symbols in front of the output).
//     A reference back past the markers, or any error, means the guess was
//     wrong: the worker tries the next candidate. (Deflate64's window holds
//     65536 bytes, of which 16-bit symbols can name 65280 beside the 256
//     literals: a chunk reaching further back is taken for a wrong guess and
//     is decoded from its real start once that is known.) Once the last W symbols it
//     wrote hold no marker, nothing it writes later can reach one: it goes on
//     in bytes, as fast as chunk 0.
//   - As soon as the chunk before is put together, the joining thread offers
//     the chunk where it really starts and the window before it. A worker
//     that has not begun it decodes it from there in bytes; one that guessed
//     the same start resolves what it has made and goes on in bytes; one that
//     guessed another starts again from the real start. So a chunk is decoded
//     with markers only while the one before it is still being decoded, which
//     is what two workers can overlap at all.
//   - Every chunk stops at the first block boundary at or past the start of
//     the next chunk's bytes, at the end of the final block, or when it
//     holds chunkOutput symbols (between two symbols, mid-block if need be).
//
// The calling thread puts the output together in order. It knows where the
// stream really stands (a bit P at a block boundary, the last W bytes of
// output, the CRC-32 and the count) and takes the chunk whose bytes hold P.
// When that chunk started exactly at P (for a stored block: the same block,
// whatever padding bits P leaves before its length field), the chunk's
// decode is the sequential one from P, markers aside: each marker is
// replaced by the window byte it names (one table lookup per symbol, unless
// the worker took the offer and did that itself), the bytes go to the sink, and P moves to where
// the chunk stopped. A chunk that stopped full goes on here, with the window now known, to its
// boundary. When the chunk started elsewhere (a false candidate, a block that spans the chunk's
// bytes, no candidate at all, a failure), this thread decodes from P itself, with the known window,
// to the same boundary. So every byte handed on comes from a decode that started at a real block
// boundary with the real window, and the result is the sequential one, corrupt data included: a
// failure in such a decode is the stream's, and is raised.
//
// Memory: the slots in flight (2 bytes a symbol while markers may remain,
// one after), this thread's 1 MiB step, and the window; whatever the size of
// the stream.
#include "zip/engine/AbDfParallel.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "zip/engine/AbCrc32.h"
#include "zip/engine/AbDfBlockStart.h"
#include "zip/engine/AbDfChunkDec.h"
#include "zip/engine/AbExcept.h"

namespace ab {

namespace {

using TStop = TAbDfChunkDecoder::TStop;

constexpr unsigned kSlotsAhead = 1;
constexpr size_t kSlotBudget = size_t{48} << 20;
// Output between two looks at whether the chunk is still wanted, and between
// two of this thread's hand-overs to the sink.
constexpr size_t kStep = size_t{256} << 10;
// Symbols decoded with markers between two looks for an offered window: each
// one after the window came is work done twice over.
constexpr size_t kGuessStep = size_t{32} << 10;
constexpr size_t kHereStep = size_t{1} << 20;
constexpr size_t kTail = TAbDfChunkDecoder::kTail;
// The markers a 16-bit symbol can name beside the 256 literals.
constexpr size_t kMostMarkers = 65536 - 256;

// Markers are rare among the symbols: a run of 32 without one is narrowed
// in a loop the compiler makes wide, and only the others look each symbol up.
void ResolveSymbols(const uint16_t* symbols, size_t count, const uint8_t* table, uint8_t* out) {
  constexpr size_t kRun = 32;
  size_t i = 0;
  for (; i + kRun <= count; i += kRun) {
    uint16_t any = 0;
    for (size_t k = 0; k < kRun; ++k) any |= symbols[i + k];
    if (any < 256) {
      for (size_t k = 0; k < kRun; ++k) out[i + k] = static_cast<uint8_t>(symbols[i + k]);
    } else {
      for (size_t k = 0; k < kRun; ++k) out[i + k] = table[symbols[i + k]];
    }
  }
  for (; i < count; ++i) out[i] = table[symbols[i]];
}

// The last marker among the symbols in [from, to), or null. Looked for from
// the end, a run of 32 at a time in a loop the compiler makes wide: a run of
// text with no marker costs a fraction of a cycle a symbol, where one symbol
// at a time cost about as much as decoding it.
const uint16_t* LastMarker(const uint16_t* from, const uint16_t* to) {
  constexpr ptrdiff_t kRun = 32;
  while (to - from >= kRun) {
    uint16_t any = 0;
    for (ptrdiff_t k = 1; k <= kRun; ++k) any |= to[-k];
    if (any >= 256) break;
    to -= kRun;
  }
  while (to > from) {
    --to;
    if (*to >= 256) return to;
  }
  return nullptr;
}

struct TSlot {
  enum class TState { kFree, kWorking, kReady };
  TState state = TState::kFree;
  size_t chunk = SIZE_MAX;
  std::atomic<bool> abandoned{false};
  std::unique_ptr<uint8_t[]> memory;
  std::unique_ptr<TAbDfChunkDecoder> decoder;
  // What the chunk made: ok, its start and where it stopped, and its output:
  // wideCount 16-bit symbols behind the markers, then narrowCount bytes
  // behind their window.
  bool ok = false;
  uint64_t start = 0;
  uint64_t end = 0;
  TStop stop = TStop::kEnd;
  uint16_t* wide = nullptr;
  size_t wideCount = 0;
  uint8_t* narrow = nullptr;
  size_t narrowCount = 0;
  std::vector<uint8_t> table;  // for markers resolved here
  size_t guessed = 0;          // symbols decoded with markers
};

class TEngine {
 public:
  TEngine(const uint8_t* data, size_t size, const TAbParallelInflateOptions& options,
          const TAbInflateSink& sink);
  ~TEngine();
  TAbParallelInflateResult Run();

 private:
  uint64_t StopBitOf(size_t chunk) const {
    return chunk + 1 < chunks_ ? uint64_t{chunk + 1} * chunkInput_ * 8 : UINT64_MAX;
  }
  size_t ChunkOf(uint64_t bit) const {
    return static_cast<size_t>(std::min<uint64_t>(bit / 8 / chunkInput_, chunks_ - 1));
  }
  TSlot& SlotOf(size_t chunk) { return slots_[chunk % slots_.size()]; }

  enum class TGuess { kFailed, kDone, kOffered };

  void Work();
  void DecodeChunk(TSlot& slot, size_t chunk);
  TGuess DecodeGuess(TSlot& slot, size_t chunk, uint64_t start, uint64_t stopBit);
  bool DecodeKnown(TSlot& slot, uint64_t start, size_t known, uint8_t* narrow, uint64_t stopBit);
  bool DecodeBytes(TSlot& slot, uint8_t* out, const uint8_t* base, uint8_t* limit,
                   uint64_t stopBit);
  bool TakeOffer(size_t chunk, uint8_t* window, uint64_t& start, size_t& known);
  void Offer(size_t chunk, uint64_t start);
  bool Wanted(const TSlot& slot) const { return !slot.abandoned.load(std::memory_order_relaxed); }

  TSlot& WaitFor(size_t chunk);
  void Release(size_t chunk);
  bool Resolve(const TSlot& slot);
  TStop DecodeHere(TAbDfChunkDecoder& decoder, uint64_t stopBit);
  void Emit(const uint8_t* bytes, size_t count);

  const uint8_t* data_;
  size_t size_;
  const TAbParallelInflateOptions& options_;
  const TAbInflateSink& sink_;
  const size_t window_;
  const size_t markers_;
  size_t chunkInput_;
  size_t chunkOutput_;
  size_t chunks_;

  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable ready_;
  bool closing_ = false;
  size_t next_ = 0;        // the next chunk a worker takes
  size_t consumerAt_ = 0;  // the first chunk this thread still needs
  std::vector<TSlot> slots_;
  std::vector<std::thread> workers_;
  // Where the chunk this thread waits for really starts, and the window
  // before it, for its worker to take up (under mutex_).
  std::atomic<size_t> offered_{SIZE_MAX};
  uint64_t offerStart_ = 0;
  size_t offerKnown_ = 0;
  std::vector<uint8_t> offerWindow_;

  // The stream as it really stands.
  std::vector<uint8_t> history_;  // the last window_ bytes, the latest at the end
  uint64_t produced_ = 0;
  uint32_t crc_ = kCrc32Start;
  std::unique_ptr<uint8_t[]> here_;
  std::vector<uint8_t> resolveTable_;
  std::vector<uint8_t> resolved_;
};

TEngine::TEngine(const uint8_t* data, size_t size, const TAbParallelInflateOptions& options,
                 const TAbInflateSink& sink)
    : data_(data),
      size_(size),
      options_(options),
      sink_(sink),
      window_(options.deflate64 ? 65536 : 32768),
      markers_(std::min(window_, kMostMarkers)),
      offerWindow_(window_, 0),
      history_(window_, 0) {
  const unsigned threads = std::max(1u, options.threads);
  const size_t slots = size_t{threads} + kSlotsAhead;
  // A slot may hold two bytes a symbol: the slots together stay within the
  // budget however many threads there are.
  chunkOutput_ = std::clamp<size_t>(options.chunkOutput, 1024, kSlotBudget / (2 * slots));
  chunkInput_ = options.chunkInput;
  if (chunkInput_ == 0) {
    // Chunks that fill about five eighths of a slot at the member's average
    // ratio: a denser stretch still fits.
    const double ratio = size > 0 && options.expectedOutput > size
                             ? static_cast<double>(options.expectedOutput) / size
                             : 1.0;
    const double bytes = static_cast<double>(chunkOutput_) * 5 / 8 / ratio;
    chunkInput_ = static_cast<size_t>(std::clamp(bytes, 65536.0, 8388608.0));
  }
  chunks_ = std::max<size_t>(1, (size + chunkInput_ - 1) / chunkInput_);
  slots_ = std::vector<TSlot>(std::min<size_t>(slots, chunks_ + 1));
  here_ = std::make_unique_for_overwrite<uint8_t[]>(window_ + kHereStep + kTail);
  for (unsigned i = 0; i < threads && i < chunks_; ++i) workers_.emplace_back([this] { Work(); });
}

TEngine::~TEngine() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_ = true;
    for (TSlot& slot : slots_) slot.abandoned = true;
  }
  work_.notify_all();
  for (std::thread& worker : workers_) worker.join();
}

void TEngine::Work() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    work_.wait(lock, [this] {
      if (closing_ || next_ >= chunks_) return true;
      next_ = std::max(next_, consumerAt_);
      return next_ < chunks_ && next_ < consumerAt_ + slots_.size() &&
             SlotOf(next_).state == TSlot::TState::kFree;
    });
    if (closing_ || next_ >= chunks_) return;
    const size_t chunk = next_++;
    TSlot& slot = SlotOf(chunk);
    slot.state = TSlot::TState::kWorking;
    slot.chunk = chunk;
    slot.abandoned = false;
    lock.unlock();
    try {
      DecodeChunk(slot, chunk);
    } catch (...) {
      // Memory for a slot, most likely: this thread decodes the chunk itself.
      slot.ok = false;
    }
    lock.lock();
    slot.state = slot.abandoned ? TSlot::TState::kFree : TSlot::TState::kReady;
    ready_.notify_all();
    work_.notify_all();
  }
}

void TEngine::DecodeChunk(TSlot& slot, size_t chunk) {
  if (!slot.memory) {
    // Two bytes a symbol for the markers and what may still reach them, one
    // for the rest behind its window; pages never written cost nothing.
    const size_t bytes =
        2 * (markers_ + chunkOutput_ + kTail) + window_ + chunkOutput_ + kTail + 64;
    slot.memory = std::make_unique_for_overwrite<uint8_t[]>(bytes);
    slot.decoder = std::make_unique<TAbDfChunkDecoder>(data_, size_, options_.deflate64);
    // The markers stay in front of every guess made in this slot.
    auto* markers = reinterpret_cast<uint16_t*>(slot.memory.get());
    for (size_t i = 0; i < markers_; ++i) markers[i] = static_cast<uint16_t>(256 + i);
    slot.table.resize(256 + markers_);
  }
  slot.ok = false;
  const uint64_t stopBit = StopBitOf(chunk);
  // Bytes from the first, behind the markers, which later guesses in this
  // slot still need.
  uint8_t* const narrow = slot.memory.get() + 2 * markers_;
  uint64_t start = 0;
  size_t known = 0;
  if (chunk == 0 || TakeOffer(chunk, narrow, start, known)) {
    slot.ok = DecodeKnown(slot, start, known, narrow, stopBit);
    return;
  }
  uint64_t from = uint64_t{chunk} * chunkInput_ * 8;
  const uint64_t to = std::min<uint64_t>(stopBit, uint64_t{size_} * 8);
  while (Wanted(slot)) {
    const std::optional<uint64_t> guess =
        FindBlockStart(data_, size_, from, to, options_.deflate64);
    if (!guess) return;
    const TGuess outcome = DecodeGuess(slot, chunk, *guess, stopBit);
    if (outcome != TGuess::kFailed || slot.narrow != nullptr) {
      slot.ok = outcome == TGuess::kDone;
      return;
    }
    from = *guess + 1;
  }
}

bool TEngine::TakeOffer(size_t chunk, uint8_t* window, uint64_t& start, size_t& known) {
  if (offered_.load(std::memory_order_acquire) != chunk) return false;
  const std::lock_guard<std::mutex> lock(mutex_);
  if (offered_.load(std::memory_order_relaxed) != chunk) return false;
  start = offerStart_;
  known = offerKnown_;
  std::memcpy(window, offerWindow_.data(), window_);
  return true;
}

void TEngine::Offer(size_t chunk, uint64_t start) {
  const std::lock_guard<std::mutex> lock(mutex_);
  offerStart_ = start;
  offerKnown_ = static_cast<size_t>(std::min<uint64_t>(produced_, window_));
  std::memcpy(offerWindow_.data(), history_.data(), window_);
  offered_.store(chunk, std::memory_order_release);
}

// From a start that is known to be real, with the window before it in the
// narrow region's first window_ bytes (known of them valid).
bool TEngine::DecodeKnown(TSlot& slot, uint64_t start, size_t known, uint8_t* narrow,
                          uint64_t stopBit) {
  slot.decoder->StartAt(start);
  slot.start = start;
  slot.wideCount = 0;
  slot.guessed = 0;
  slot.narrow = narrow;
  uint8_t* const first = narrow + window_;
  return DecodeBytes(slot, first, first - known, first + chunkOutput_, stopBit);
}

// Goes on in bytes from out to the chunk's stop; the slot's narrow output
// starts a window into its narrow region.
bool TEngine::DecodeBytes(TSlot& slot, uint8_t* out, const uint8_t* base, uint8_t* limit,
                          uint64_t stopBit) {
  try {
    TStop stop;
    for (;;) {
      stop = slot.decoder->Decode(out, base, std::min(limit, out + kStep), stopBit);
      if (stop != TStop::kFull || out >= limit || !Wanted(slot)) break;
    }
    slot.narrowCount = static_cast<size_t>(out - (slot.narrow + window_));
    slot.stop = stop;
    slot.end = slot.decoder->Position();
    return Wanted(slot);
  } catch (const rtl::Exception&) {
    return false;
  }
}

// Decodes from a guessed start with markers for the window. It goes on in
// bytes once the window holds none, or once this thread offers the real
// window: then the symbols so far are resolved here, or, when the offer
// says the chunk starts elsewhere, the chunk is decoded from there.
TEngine::TGuess TEngine::DecodeGuess(TSlot& slot, size_t chunk, uint64_t start, uint64_t stopBit) {
  TAbDfChunkDecoder& decoder = *slot.decoder;
  decoder.StartAt(start);
  slot.start = start;
  slot.wide = reinterpret_cast<uint16_t*>(slot.memory.get());
  slot.wideCount = 0;
  slot.narrowCount = 0;
  slot.narrow = nullptr;
  uint16_t* const markers = slot.wide;
  uint16_t* const first = markers + markers_;
  uint16_t* const limit = first + chunkOutput_;
  uint16_t* out = first;
  // Each symbol is looked at once for a marker, in the step that wrote it;
  // before the first, the markers themselves.
  const uint16_t* scanned = first;
  const uint16_t* lastMarker = first - 1;
  TStop stop;
  try {
    for (;;) {
      stop = decoder.Decode(out, markers, std::min(limit, out + kGuessStep), stopBit);
      if (stop != TStop::kFull || out >= limit || !Wanted(slot)) break;
      auto* narrow = reinterpret_cast<uint8_t*>(out + 16);
      narrow += (64 - reinterpret_cast<uintptr_t>(narrow) % 64) % 64;
      uint64_t real = 0;
      size_t known = 0;
      if (TakeOffer(chunk, narrow, real, known)) {
        if (real != start && CanonicalBlockStart(data_, size_, real) != start)
          return DecodeKnown(slot, real, known, narrow, stopBit) ? TGuess::kDone : TGuess::kOffered;
        if (known >= markers_) {
          uint8_t* const table = slot.table.data();
          for (size_t i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
          std::memcpy(table + 256, narrow + (window_ - markers_), markers_);
          const auto made = static_cast<size_t>(out - first);
          slot.guessed = made;
          ResolveSymbols(first, made, table, narrow + window_);
          slot.narrow = narrow;
          uint8_t* const bytes = narrow + window_;
          return DecodeBytes(slot, bytes + made, bytes - known, bytes + chunkOutput_, stopBit)
                     ? TGuess::kDone
                     : TGuess::kFailed;
        }
      }
      // The last marker: until it is a window behind, a match may still
      // copy it.
      if (const uint16_t* marker = LastMarker(scanned, out)) lastMarker = marker;
      scanned = out;
      if (out - lastMarker > static_cast<ptrdiff_t>(window_)) {
        // The window holds bytes only: the rest goes on in bytes.
        for (size_t i = 0; i < window_; ++i)
          narrow[i] = static_cast<uint8_t>(
              out[static_cast<ptrdiff_t>(i) - static_cast<ptrdiff_t>(window_)]);
        slot.wideCount = static_cast<size_t>(out - first);
        slot.guessed = slot.wideCount;
        slot.narrow = narrow;
        uint8_t* const bytes = narrow + window_;
        return DecodeBytes(slot, bytes, narrow, bytes + (chunkOutput_ - slot.wideCount), stopBit)
                   ? TGuess::kDone
                   : TGuess::kFailed;
      }
    }
  } catch (const rtl::Exception&) {
    return TGuess::kFailed;
  }
  slot.wideCount = static_cast<size_t>(out - first);
  slot.guessed = slot.wideCount;
  slot.stop = stop;
  slot.end = decoder.Position();
  return Wanted(slot) ? TGuess::kDone : TGuess::kFailed;
}

TSlot& TEngine::WaitFor(size_t chunk) {
  std::unique_lock<std::mutex> lock(mutex_);
  TSlot& slot = SlotOf(chunk);
  ready_.wait(lock, [&] { return slot.chunk == chunk && slot.state == TSlot::TState::kReady; });
  return slot;
}

// This thread is done with every chunk before chunk: their slots go back to
// the workers, the ones still being decoded once their worker notices.
void TEngine::Release(size_t chunk) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    for (TSlot& slot : slots_) {
      if (slot.chunk >= chunk || slot.chunk == SIZE_MAX) continue;
      if (slot.state == TSlot::TState::kReady) slot.state = TSlot::TState::kFree;
      if (slot.state == TSlot::TState::kWorking) slot.abandoned = true;
    }
    consumerAt_ = std::max(consumerAt_, chunk);
  }
  work_.notify_all();
}

TAbParallelInflateResult TEngine::Run() {
  TAbParallelInflateResult result;
  result.chunks = chunks_;
  TAbDfChunkDecoder mine(data_, size_, options_.deflate64);
  uint64_t position = 0;
  size_t chunk = 0;
  for (;;) {
    TSlot& slot = WaitFor(chunk);
    const uint64_t stopBit = StopBitOf(chunk);
    TStop stop;
    const bool joins = slot.ok && (slot.start == position ||
                                   slot.start == CanonicalBlockStart(data_, size_, position));
    if (joins && Resolve(slot)) {
      ++result.joined;
      result.wideSymbols += slot.guessed;
      stop = slot.stop;
      position = slot.end;
      if (stop == TStop::kFull) {
        const uint64_t before = produced_;
        stop = DecodeHere(*slot.decoder, stopBit);
        position = slot.decoder->Position();
        result.decodedInOrder += produced_ - before;
      }
    } else {
      const uint64_t before = produced_;
      mine.StartAt(position);
      stop = DecodeHere(mine, stopBit);
      position = mine.Position();
      result.decodedInOrder += produced_ - before;
    }
    if (stop == TStop::kEnd) break;
    chunk = std::max(chunk + 1, ChunkOf(position));
    Release(chunk);
    Offer(chunk, position);
    if (options_.onInputDone) options_.onInputDone(static_cast<size_t>(position / 8));
  }
  result.inputUsed = static_cast<size_t>((position + 7) / 8);
  result.size = produced_;
  result.crc = ~crc_;
  return result;
}

// The slot's output with its markers replaced by the window's bytes, handed
// on; false, with nothing handed on, when a marker names a byte before the
// first.
bool TEngine::Resolve(const TSlot& slot) {
  if (slot.wideCount > 0) {
    const uint16_t* const symbols = slot.wide + markers_;
    if (produced_ < markers_) {
      const auto lowest = static_cast<uint16_t>(256 + markers_ - produced_);
      for (size_t i = 0; i < slot.wideCount; ++i)
        if (symbols[i] >= 256 && symbols[i] < lowest) return false;
    }
    resolveTable_.resize(256 + markers_);
    for (size_t i = 0; i < 256; ++i) resolveTable_[i] = static_cast<uint8_t>(i);
    std::memcpy(resolveTable_.data() + 256, history_.data() + (window_ - markers_), markers_);
    resolved_.resize(kStep);
    const uint8_t* const table = resolveTable_.data();
    for (size_t done = 0; done < slot.wideCount;) {
      const size_t n = std::min(kStep, slot.wideCount - done);
      ResolveSymbols(symbols + done, n, table, resolved_.data());
      Emit(resolved_.data(), n);
      done += n;
    }
  }
  if (slot.narrowCount > 0) Emit(slot.narrow + window_, slot.narrowCount);
  return true;
}

// Decodes on this thread, with the real window, to the chunk's stop,
// handing the output on a step at a time.
TStop TEngine::DecodeHere(TAbDfChunkDecoder& decoder, uint64_t stopBit) {
  uint8_t* const first = here_.get() + window_;
  for (;;) {
    const size_t known = static_cast<size_t>(std::min<uint64_t>(produced_, window_));
    std::memcpy(first - known, history_.data() + (window_ - known), known);
    uint8_t* out = first;
    TStop stop;
    try {
      stop = decoder.Decode(out, first - known, first + kHereStep, stopBit);
    } catch (const EAbInternalInflateError& error) {
      Emit(first, static_cast<size_t>(out - first));
      throw EAbInflateError(error.Message());
    }
    Emit(first, static_cast<size_t>(out - first));
    if (stop != TStop::kFull) return stop;
  }
}

void TEngine::Emit(const uint8_t* bytes, size_t count) {
  if (count == 0) return;
  if (count > options_.outputLimit - produced_) throw EAbZipSizeExceeded();
  crc_ = UpdateCrc32(crc_, bytes, count);
  if (sink_) sink_(bytes, count);
  produced_ += count;
  if (count >= window_) {
    std::memcpy(history_.data(), bytes + count - window_, window_);
  } else {
    std::memmove(history_.data(), history_.data() + count, window_ - count);
    std::memcpy(history_.data() + window_ - count, bytes, count);
  }
}

}  // namespace

TAbParallelInflateResult ParallelInflate(const uint8_t* data, size_t size,
                                         const TAbParallelInflateOptions& options,
                                         const TAbInflateSink& sink) {
  TEngine engine(data, size, options, sink);
  return engine.Run();
}

}  // namespace ab
