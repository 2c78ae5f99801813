// Raw Deflate and Deflate64 decoding.
//
// DecodeData runs a fast loop while at least kInputMargin bytes of input are
// buffered and the window's write position is below its flush point. The
// loop keeps the bit buffer in registers and refills it a word at a time:
// after a refill it holds at least kRefillBits, enough for three literal
// codes and the first-level lookup of the next one, or for two literals and
// a length code with its extra bits; it is topped up before a distance code
// as needed, so no code is ever looked up with missing bits. Between two
// checks of the input position an iteration refills at most
// kRefillsPerIteration times, each moving at most kRefillAdvance bytes on and
// loading kRefillLoad, which the input margin covers. A match starting below
// the flush point stays inside the window's tail, which also absorbs the
// overshoot of the block copies: it is at most kMaxMatch bytes long, since
// the loop leaves Deflate64's longer ones to the careful path, which copies
// them in pieces. Everything else (the end of the input, the last bytes
// before a flush, StopAfter) goes through the careful path, one symbol at a
// time. The static_asserts below hold these bounds.
#include "zip/engine/AbDfDec.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>
#include <optional>

#include "rtl/Cpu.h"
#include "rtl/Format.h"
#include "zip/engine/AbDfCodeLengths.h"
#include "zip/engine/AbDfFastBits.h"
#include "zip/engine/AbDfCryS.h"
#include "zip/engine/AbExcept.h"

namespace ab {

namespace {

using Tree = TAbDfDecodeHuffmanTree;

// The bit buffer, and what a refill leaves in it: it loads whole bytes
// while fewer than 8 bits are free.
constexpr uint32_t kBitBufferBits = 64;
constexpr uint32_t kRefillBits = kBitBufferBits - 8;
// A refill reads a word at the input position and moves on by the bytes it
// took whole.
constexpr int64_t kRefillLoad = 8;
constexpr int64_t kRefillAdvance = (kBitBufferBits - 1) / 8;
constexpr int64_t kRefillsPerIteration = 2;
static_assert(kRefillBits == 0x38, "bitsLeft | kRefillBits is 56 plus the odd bits left");
// The last bytes of the input go through the careful path, which costs
// several times as much per symbol: the margin is no wider than it must be.
constexpr int64_t kInputMargin = (kRefillsPerIteration - 1) * kRefillAdvance + kRefillLoad;

constexpr uint32_t kMaxCode = TAbDfDecodeHuffmanTree::kMaxCodeLength;
constexpr uint32_t kLitLenLookup = TAbDfDecodeHuffmanTree::kLitLenMainBits;
// A length code with its extra bits (16 for Deflate64's symbol 285), and a
// distance code with its extra bits followed by the next first-level lookup:
// the thresholds below which the loop refills first.
constexpr uint32_t kLengthBits = kMaxCode + 16;
constexpr uint32_t kDistanceBits = kMaxCode + 14 + kLitLenLookup;
static_assert(3 * kMaxCode + kLitLenLookup <= kRefillBits, "three literals per refill");
static_assert(kLengthBits <= 31 && 2 * kLitLenLookup + kLengthBits <= kRefillBits,
              "two literals and a length after a refill");
static_assert(kDistanceBits <= kRefillBits, "a distance and the next lookup after a refill");

// The most bytes a match copy writes past the match's end (the first 24
// bytes of a distance from 8 to 15 go in one step; every other step is at
// most 16 bytes), and the literals an iteration may write before its match.
constexpr int32_t kMinMatch = 3;
constexpr int32_t kMatchOvershoot = 24 - kMinMatch;
constexpr int32_t kLiteralsBeforeMatch = 2;
static_assert(kLiteralsBeforeMatch + kMatchOvershoot <= TAbDfOutputWindow::kOvershoot,
              "the window's tail takes a whole match and what the copy writes past it");
[[noreturn]] void Corrupt(const char* text) {
  throw EAbInternalInflateError(text);
}
[[noreturn]] void InvalidLength() {
  Corrupt("decoded an invalid length symbol: greater than 285 [DecodeData]");
}
[[noreturn]] void InvalidDistance() {
  Corrupt("decoded an invalid distance symbol: greater than 29 [DecodeData]");
}
[[noreturn]] void TooFarBack() {
  Corrupt("distance reaches back before the first byte produced [DecodeData]");
}
[[noreturn]] void CodeEndsEarly() {
  Corrupt("no more compressed data in stream [TAbDfInBitStream.DiscardBits]");
}

inline uint64_t LoadLe64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// Copies a match of length bytes from distance back, with the semantics of a
// byte-by-byte copy; may write up to kMatchOvershoot bytes past the end. Most
// matches are short: one 16-byte step covers nearly all of them, and a test
// of the length after it is well predicted, where one after 8 bytes is not.
// Copying fewer bytes than that measured faster than copying 32 at once:
// the source is anywhere, and a second load is another chance to cross a
// cache line.
inline void CopyMatchFast(uint8_t* out, uint32_t distance, uint32_t length) {
  const uint8_t* from = out - distance;
  uint8_t* const end = out + length;
  if (distance >= 16) {
    std::memcpy(out, from, 16);
    if (length <= 16) return;
    out += 16;
    from += 16;
    do {
      std::memcpy(out, from, 16);
      out += 16;
      from += 16;
    } while (out < end);
  } else if (distance >= 8) {
    std::memcpy(out, from, 8);
    std::memcpy(out + 8, from + 8, 8);
    std::memcpy(out + 16, from + 16, 8);
    if (length <= 24) return;
    out += 24;
    from += 24;
    do {
      std::memcpy(out, from, 8);
      out += 8;
      from += 8;
    } while (out < end);
  } else if (distance == 1) {
    std::memset(out, *from, length);
  } else {
    // Lay the pattern down byte by byte, then copy whole words from a
    // multiple of the distance of at least 8 bytes back.
    for (int i = 0; i < 8; ++i) out[i] = from[i];
    const uint32_t period = distance * ((8 + distance - 1) / distance);
    from = out + 8 - period;
    out += 8;
    while (out < end) {
      std::memcpy(out, from, 8);
      out += 8;
      from += 8;
    }
  }
}

enum class TFastExit {
  EndOfBlock,
  OutputFull,
  InputLow,
  LongMatch,  // a Deflate64 match that may be longer than the window's tail
  BadLength,
  BadDistance,
  TooFarBack
};

#if defined(__GNUC__)
#define TESSALINE_ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define TESSALINE_ALWAYS_INLINE inline
#endif

// The fast loop counts the bits held in the low byte of `left` only: a code
// is consumed by subtracting its whole entry, whose low byte is the count
// (bits 5 to 7 clear) and whose higher bits only disturb the higher bytes,
// since the count never goes below zero. One instruction instead of three.
TESSALINE_ALWAYS_INLINE uint32_t Held(uint32_t left) {
  return static_cast<uint8_t>(left);
}

// Bits above the count hold the low bits of *in again, so OR-ing the next
// word in leaves them unchanged.
TESSALINE_ALWAYS_INLINE void Refill(uint64_t& buffer, uint32_t& left, const uint8_t*& in) {
  buffer |= LoadLe64(in) << (left & 63);
  in += (kBitBufferBits - 1 - Held(left)) >> 3;
  left |= kRefillBits;
}

// The shift takes the entry's low six bits as they are, which keeps a
// masking step off the chain from one code to the next.
TESSALINE_ALWAYS_INLINE void Consume(uint64_t& buffer, uint32_t& left, uint32_t entry) {
  buffer >>= (entry & 63);
  left -= entry;
}

template <uint32_t MainBits>
TESSALINE_ALWAYS_INLINE uint32_t First(const uint32_t* table, uint64_t buffer) {
  return table[buffer & ((uint64_t{1} << MainBits) - 1)];
}

// The last literal of an iteration: written, the next first-level entry
// loaded and the buffer refilled; false, before the refill, when the input
// or the output has reached its limit.
TESSALINE_ALWAYS_INLINE bool LastLiteral(uint32_t& entry, uint64_t& buffer, uint32_t& left,
                                         const uint8_t*& in, uint8_t*& out,
                                         const uint32_t* litTable, const uint8_t* inLimit,
                                         const uint8_t* outLimit) {
  const uint32_t literal = entry >> 16;
  Consume(buffer, left, entry);
  entry = First<Tree::kLitLenMainBits>(litTable, buffer);
  *out++ = static_cast<uint8_t>(literal);
  if (in > inLimit || out >= outLimit) return false;
  Refill(buffer, left, in);
  return true;
}

template <uint32_t MainBits>
TESSALINE_ALWAYS_INLINE uint32_t Lookup(const uint32_t* table, uint64_t buffer) {
  return Tree::Resolve(table, First<MainBits>(table, buffer), buffer, MainBits);
}

template <bool kBmi2>
TESSALINE_ALWAYS_INLINE TFastExit DecodeFastBody(TAbDfInBitStream& bits, TAbDfOutputWindow& window,
                                                 const Tree& litLen, const Tree& distances) {
  constexpr uint32_t kLit = Tree::kLitLenMainBits;
  constexpr uint32_t kDist = Tree::kDistanceMainBits;
  TAbDfBitState& state = bits.State();
  if (state.end - state.position < kInputMargin) return TFastExit::InputLow;
  uint8_t* out = window.Cursor();
  uint8_t* const outLimit = window.Limit();
  if (out >= outLimit) return TFastExit::OutputFull;
  uint64_t buffer = state.bitBuffer;
  uint32_t left = state.bitsLeft;
  const uint8_t* in = state.position;
  const uint8_t* const inLimit = state.end - kInputMargin;
  const uint8_t* const base = window.Base();
  // Once this much has been made, no distance reaches back too far: a
  // Deflate64 distance is at most 64 KiB.
  const uintptr_t allReachable = reinterpret_cast<uintptr_t>(base) + 65536;
  const uint32_t* const litTable = litLen.Table();
  const uint32_t* const distTable = distances.Table();

  // Each iteration starts just after a refill, with the first-level entry
  // for the next code already loaded: the next lookup is issued before the
  // refill and before the bytes of a match are copied, so neither delays it.
  // It needs at most 11 bits (the literal/length first level), which every
  // path below leaves in the buffer.
  Refill(buffer, left, in);
  uint32_t entry = First<kLit>(litTable, buffer);
  TFastExit result;
  for (;;) {
    // A literal's first-level entry is never a subtable pointer, so the
    // common case tests one flag. Up to three literals: 56 bits cover three
    // codes of at most 11 bits and the 11 of the next first-level lookup.
    if (entry & Tree::kLiteral) {
      uint32_t literal = entry >> 16;
      Consume(buffer, left, entry);
      entry = First<kLit>(litTable, buffer);
      *out++ = static_cast<uint8_t>(literal);
      if (entry & Tree::kLiteral) {
        literal = entry >> 16;
        Consume(buffer, left, entry);
        entry = First<kLit>(litTable, buffer);
        *out++ = static_cast<uint8_t>(literal);
        if (entry & Tree::kLiteral) {
          if (LastLiteral(entry, buffer, left, in, out, litTable, inLimit, outLimit)) continue;
          result = in > inLimit ? TFastExit::InputLow : TFastExit::OutputFull;
          break;
        }
      }
    }
    if (entry & (Tree::kSubtable | Tree::kSpecial | Tree::kLongMatch)) {
      if (entry & Tree::kSubtable) {
        // A code longer than the first level (at most 15 bits, after at
        // most 22 bits of literals).
        entry = Tree::Resolve(litTable, entry, buffer, kLit);
        if (entry & Tree::kLiteral) {
          if (LastLiteral(entry, buffer, left, in, out, litTable, inLimit, outLimit)) continue;
          result = in > inLimit ? TFastExit::InputLow : TFastExit::OutputFull;
          break;
        }
      }
      if (entry & Tree::kSpecial) {
        if ((entry >> 16) == Tree::kEndOfBlock) {
          Consume(buffer, left, entry);
          result = TFastExit::EndOfBlock;
        } else {
          result = TFastExit::BadLength;
        }
        break;
      }
      if (entry & Tree::kLongMatch) {
        result = TFastExit::LongMatch;
        break;
      }
    }
    // A length code comes after at most two first-level literals: the
    // refill that started the iteration still holds its bits.
    const uint32_t length = DfFastValueOf<kBmi2>(buffer, entry);
    Consume(buffer, left, entry);
    // The distance code and its extra bits (29 at most), and 11 more for
    // the lookup that follows.
    if (Held(left) < kDistanceBits) Refill(buffer, left, in);
    entry = Lookup<kDist>(distTable, buffer);
    if (entry & Tree::kSpecial) {
      result = TFastExit::BadDistance;
      break;
    }
    const uint32_t distance = DfFastValueOf<kBmi2>(buffer, entry);
    Consume(buffer, left, entry);
    if (reinterpret_cast<uintptr_t>(out) < allReachable &&
        distance > static_cast<uint64_t>(out - base)) {
      result = TFastExit::TooFarBack;
      break;
    }
    entry = First<kLit>(litTable, buffer);
    CopyMatchFast(out, distance, length);
    out += length;
    if (in > inLimit || out >= outLimit) {
      result = in > inLimit ? TFastExit::InputLow : TFastExit::OutputFull;
      break;
    }
    Refill(buffer, left, in);
  }
  // The state goes back in one place, after the loop: a failure path that
  // wrote it back itself would keep the loop's values out of registers.
  state.bitBuffer = buffer & ((uint64_t{1} << Held(left)) - 1);
  state.bitsLeft = Held(left);
  state.position = in;
  window.Cursor() = out;
  switch (result) {
    case TFastExit::BadLength:
      InvalidLength();
    case TFastExit::BadDistance:
      InvalidDistance();
    case TFastExit::TooFarBack:
      TooFarBack();
    default:
      return result;
  }
}

TFastExit DecodeFastPlain(TAbDfInBitStream& bits, TAbDfOutputWindow& window, const Tree& litLen,
                          const Tree& distances) {
  return DecodeFastBody<false>(bits, window, litLen, distances);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loop built for processors with BMI2, whose shifts and bit
// extraction take fewer instructions; chosen at run time.
__attribute__((target("bmi2"))) TFastExit DecodeFastBmi2(TAbDfInBitStream& bits,
                                                         TAbDfOutputWindow& window,
                                                         const Tree& litLen,
                                                         const Tree& distances) {
  return DecodeFastBody<true>(bits, window, litLen, distances);
}

TFastExit DecodeFast(TAbDfInBitStream& bits, TAbDfOutputWindow& window, const Tree& litLen,
                     const Tree& distances) {
  return rtl::CpuFeatures().bmi2 ? DecodeFastBmi2(bits, window, litLen, distances)
                                 : DecodeFastPlain(bits, window, litLen, distances);
}
#else
TFastExit DecodeFast(TAbDfInBitStream& bits, TAbDfOutputWindow& window, const Tree& litLen,
                     const Tree& distances) {
  return DecodeFastPlain(bits, window, litLen, distances);
}
#endif

// One literal, match or end of block, with every bound checked; true at the
// end of the block.
bool DecodeCarefully(TAbDfInBitStream& bits, TAbDfOutputWindow& window, const Tree& litLen,
                     const Tree& distances) {
  TAbDfBitState& state = bits.State();
  bits.EnsureBits(31);
  uint32_t entry = litLen.Decode(state.bitBuffer);
  if ((entry & Tree::kSpecial) && (entry >> 16) == Tree::kInvalid) InvalidLength();
  uint32_t total = Tree::Total(entry);
  if (total > state.bitsLeft) CodeEndsEarly();
  uint32_t value =
      Tree::Value(entry) + static_cast<uint32_t>((state.bitBuffer & ((uint64_t{1} << total) - 1)) >>
                                                 Tree::CodeLength(entry));
  state.bitBuffer >>= total;
  state.bitsLeft -= total;
  if (entry & Tree::kLiteral) {
    window.PutLiteral(static_cast<uint8_t>(value));
    return false;
  }
  if (entry & Tree::kSpecial) return true;
  const uint32_t length = value;

  bits.EnsureBits(29);
  entry = distances.Decode(state.bitBuffer);
  if (entry & Tree::kSpecial) InvalidDistance();
  total = Tree::Total(entry);
  if (total > state.bitsLeft) CodeEndsEarly();
  const uint32_t distance =
      Tree::Value(entry) + static_cast<uint32_t>((state.bitBuffer & ((uint64_t{1} << total) - 1)) >>
                                                 Tree::CodeLength(entry));
  state.bitBuffer >>= total;
  state.bitsLeft -= total;
  if (distance > static_cast<uint64_t>(window.Cursor() - window.Base())) TooFarBack();
  window.CopyMatch(static_cast<int32_t>(length), static_cast<int32_t>(distance));
  return false;
}

}  // namespace

void DecodeData(TAbDfInBitStream& bits, TAbDfOutputWindow& window, const Tree& litLenTree,
                const Tree& distanceTree) {
  // Every symbol starts below the flush point, so that its match fits;
  // what was made so far is checksummed while it is in the cache.
  window.Advance();
  if (!window.StopActive()) {
    for (;;) {
      const TFastExit exit = DecodeFast(bits, window, litLenTree, distanceTree);
      if (exit == TFastExit::EndOfBlock) return;
      // The fast loop may stop for input just after a match has taken the
      // write position past the flush point: slide before going on.
      bool more = exit == TFastExit::OutputFull || window.Cursor() >= window.FlushPoint();
      if (exit == TFastExit::LongMatch) {
        DecodeCarefully(bits, window, litLenTree, distanceTree);
        more = true;
      }
      more = more || bits.ibsFillBuffer();
      window.Advance();
      if (!more) break;
    }
  }
  // The last bytes of the input (or every symbol, to stop after a given
  // count) one symbol at a time; each slides the window itself once past
  // the flush point.
  while (!DecodeCarefully(bits, window, litLenTree, distanceTree)) {
  }
}

void InflateStoredBlock(TAbDfInBitStream& bits, TAbDfOutputWindow& window) {
  bits.AlignToByte();
  uint8_t header[4];
  bits.ReadBuffer(header, 4);
  const uint32_t length = header[0] | (uint32_t{header[1]} << 8);
  const uint32_t notLength = header[2] | (uint32_t{header[3]} << 8);
  if ((length ^ 0xFFFF) != notLength)
    Corrupt("invalid stored block (length and NOT length do not match) [InflateStoredBlock]");
  // Straight into the window, so that a stream cut short inside the block
  // still leaves every byte it held.
  auto left = static_cast<int32_t>(length);
  while (left > 0) {
    if (window.Cursor() >= window.FlushPoint()) window.Slide();
    const auto room = static_cast<int32_t>(window.FlushPoint() - window.Cursor());
    const int32_t n = bits.ReadAvailable(window.Cursor(), left < room ? left : room);
    window.Cursor() += n;
    left -= n;
    window.Checksum();
  }
  if (window.Cursor() >= window.FlushPoint()) window.Slide();
}

void ReadLitDistCodeLengths(TAbDfInBitStream& bits, const Tree& codeLengthTree, int count,
                            uint8_t* lengths) {
  TAbDfBitState& state = bits.State();
  ReadDfCodeLengths(
      count, lengths,
      [&] {
        bits.EnsureBits(7);
        return codeLengthTree.Decode(state.bitBuffer);
      },
      [&](uint32_t total) {
        if (total > state.bitsLeft) CodeEndsEarly();
        state.bitBuffer >>= total;
        state.bitsLeft -= total;
      },
      [&](int n) { return bits.ReadBits(n); });
}

void InflateDynamicBlock(TAbDfInBitStream& bits, TAbDfOutputWindow& window, TAbDfBlockTrees& trees,
                         bool deflate64) {
  const int litCount = static_cast<int>(bits.ReadBits(5)) + 257;
  const int distCount = static_cast<int>(bits.ReadBits(5)) + 1;
  const int codeLengthCount = static_cast<int>(bits.ReadBits(4)) + 4;
  if (litCount > 286)
    Corrupt("count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]");
  if (!deflate64 && distCount > 30)
    Corrupt("count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]");

  uint8_t codeLengths[19] = {};
  for (int i = 0; i < codeLengthCount; ++i)
    codeLengths[kDfCodeLengthOrder[i]] = static_cast<uint8_t>(bits.ReadBits(3));
  trees.codeLengths.Build(codeLengths, 19, deflate64);

  std::memset(trees.lengths, 0, sizeof trees.lengths);
  ReadLitDistCodeLengths(bits, trees.codeLengths, litCount + distCount, trees.lengths);
  trees.litLen.Build(trees.lengths, litCount, deflate64);
  trees.distance.Build(trees.lengths + litCount, distCount, deflate64);
  DecodeData(bits, window, trees.litLen, trees.distance);
}

namespace {

// What one thread's decodes keep from member to member: the trees of a
// dynamic block and the input and output buffers. A decode that starts while
// another runs on the same thread (from a progress handler) gets its own.
struct TDecoderState {
  TAbDfBlockTrees trees;
  std::unique_ptr<uint8_t[]> input =
      std::make_unique_for_overwrite<uint8_t[]>(TAbDfInBitStream::kBufferSize);
  std::unique_ptr<uint8_t[]> window =
      std::make_unique_for_overwrite<uint8_t[]>(TAbDfOutputWindow::kBufferSize);
};

class TStateLease {
 public:
  TStateLease() {
    thread_local std::unique_ptr<TDecoderState> kept;
    thread_local bool inUse = false;
    if (!inUse) {
      if (!kept) kept = std::make_unique<TDecoderState>();
      state_ = kept.get();
      inUse_ = &inUse;
      inUse = true;
    } else {
      own_ = std::make_unique<TDecoderState>();
      state_ = own_.get();
    }
  }
  ~TStateLease() {
    if (inUse_ != nullptr) *inUse_ = false;
  }
  TStateLease(const TStateLease&) = delete;
  TStateLease& operator=(const TStateLease&) = delete;
  TDecoderState& State() { return *state_; }

 private:
  TDecoderState* state_ = nullptr;
  bool* inUse_ = nullptr;
  std::unique_ptr<TDecoderState> own_;
};

}  // namespace

uint32_t Inflate(rtl::TStream* aSource, rtl::TStream* aDest, TAbDeflateHelper* helper) {
  rtl::Assert(aSource != nullptr, "Deflate: aSource stream cannot be nil");
  rtl::Assert(aDest != nullptr, "Deflate: aDest stream cannot be nil");
  // The options are read where they are; a decode changes only the two
  // results, at its end.
  static const TAbDeflateHelper kDefaults;
  const TAbDeflateHelper& options = helper != nullptr ? *helper : kDefaults;
  const int64_t sourceStart = aSource->Position();
  const int64_t destStart = aDest->Position();
  int64_t inputSize = 0;
  if (options.OnInputProgress)
    inputSize = options.InputSize() == -1 ? aSource->Size() : options.InputSize();
  std::unique_ptr<TAbLogger> log;
  if (!options.LogName().empty()) {
    log = std::make_unique<TAbLogger>(options.LogName());
    log->WriteLine("INFLATING STREAM...");
    log->WriteLine("Need to recompile the app with UseLogging turned on");
  }
  const uint32_t flags = options.DecodeFlags();
  const bool deflate64 = (flags & dfcDeflate64) != 0;
  const bool testOnly = (flags & dfcTestOnly) != 0;

  TStateLease lease;
  TDecoderState& state = lease.State();
  std::unique_ptr<TAbDfDecryptStream> decrypter;
  std::optional<TAbDfInBitStream> bits;
  std::optional<TAbDfOutputWindow> window;
  uint32_t result = 0;
  try {
    try {
      rtl::TStream* input = aSource;
      int64_t limit = options.InputLimit();
      if (!options.PasswordText().empty()) {
        if (limit >= 0 && limit < TAbZipDecryptEngine::kHeaderSize)
          throw EAbZipPastCompressedSize();
        decrypter = std::make_unique<TAbDfDecryptStream>(*aSource, options.CheckWord(),
                                                         options.PasswordText());
        if (!decrypter->CheckHeader()) throw EAbInflatePasswordError();
        input = decrypter.get();
        if (limit >= 0) limit -= TAbZipDecryptEngine::kHeaderSize;
      }
      bits.emplace(*input, inputSize, options.OnInputProgress, state.input.get(), limit);
      window.emplace(*aDest, deflate64, (flags & dfcUseAdler32) == 0, options.StopAfter(), testOnly,
                     log.get(), state.window.get());
      bool final;
      do {
        final = bits->ReadBit() != 0;
        switch (bits->ReadBits(2)) {
          case 0:
            InflateStoredBlock(*bits, *window);
            break;
          case 1:
            DecodeData(*bits, *window, FixedLitLenTree(deflate64), FixedDistanceTree(deflate64));
            break;
          case 2:
            InflateDynamicBlock(*bits, *window, state.trees, deflate64);
            break;
          default:
            Corrupt("starting new block, but invalid block type [Inflate]");
        }
      } while (!final);
      result = window->FinalChecksum();
      bits->ReturnUnusedInput();
    } catch (...) {
      // Whatever was decoded reaches the destination, and the input not
      // used goes back to the source, before the failure travels on.
      try {
        if (window) window->FlushAll();
      } catch (...) {
      }
      try {
        if (bits) bits->ReturnUnusedInput();
      } catch (...) {
      }
      throw;
    }
  } catch (const EAbPartSizedInflate&) {
    result = 0;
  } catch (const EAbAbortProgress&) {
    result = 0;
  } catch (const EAbInternalInflateError& error) {
    if (log) log->WriteLine(rtl::Format("Internal exception raised: %s", {error.Message()}));
    // A stream that wanted more than its member's span holds reads on into
    // whatever follows it there: that, not the bits it met, is the fault.
    if (bits && bits->WantedPastLimit()) throw EAbZipPastCompressedSize();
    throw EAbInflateError(error.Message());
  }
  if (helper != nullptr) {
    const int64_t made =
        testOnly ? (window ? window->BytesProduced() : 0) : aDest->Position() - destStart;
    helper->SetOutputMade(made);
    helper->SetInputUsed(aSource->Position() - sourceStart);
  }
  return result;
}

}  // namespace ab
