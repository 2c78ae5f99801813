// The resumable decoder of the parallel Inflate. Its blocks mean exactly what
// the sequential decoder's do: the same trees (TAbDfDecodeHuffmanTree::Build
// decides which code lengths are valid), the same checks on every symbol and
// the same texts for what it finds wrong, so that a stream it accepts from
// bit 0 is one the sequential decoder accepts, byte for byte.
//
// The input lies whole in memory, so the fast loop needs no refill from a
// stream: it runs while kMargin bytes are left, each iteration refilling at
// most twice by at most 7 bytes and loading 8, and the last bytes go through
// the careful path one symbol at a time, which never reads past the end. A
// symbol starts below the output limit; its match may run kTail symbols past
// it, which is why the caller leaves that much room. The fast loop is the
// sequential decoder's (its bit count kept in the low byte of a word that
// whole entries are subtracted from, its match copy, BMI2 where the
// processor has it), for symbols of either width: decoding with markers
// costs about what decoding bytes does, and bytes cost about what they cost
// that decoder.
#include "zip/engine/AbDfChunkDec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbDfCodeLengths.h"
#include "zip/engine/AbDfFastBits.h"
#include "rtl/Cpu.h"

namespace ab {

namespace {

using Tree = TAbDfDecodeHuffmanTree;

constexpr int64_t kMargin = 32;
constexpr uint32_t kLitBits = Tree::kLitLenMainBits;
constexpr uint32_t kDistBits = Tree::kDistanceMainBits;
constexpr const char* kNoMoreData = "no more compressed data in stream [TAbDfInBitStream.ReadBits]";
constexpr const char* kInvalidLength =
    "decoded an invalid length symbol: greater than 285 [DecodeData]";
constexpr const char* kInvalidDistance =
    "decoded an invalid distance symbol: greater than 29 [DecodeData]";
constexpr const char* kTooFarBack =
    "distance reaches back before the first byte produced [DecodeData]";

[[noreturn]] void Corrupt(const char* text) {
  throw EAbInternalInflateError(text);
}

inline uint64_t LoadLe64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  if constexpr (std::endian::native == std::endian::big) v = __builtin_bswap64(v);
  return v;
}

// The value of a length or distance entry: its base plus the extra bits that
// follow the code.
inline uint32_t ValueOf(uint64_t buffer, uint32_t entry) {
  const uint32_t total = Tree::Total(entry);
  return Tree::Value(entry) +
         static_cast<uint32_t>((buffer & ((uint64_t{1} << total) - 1)) >> Tree::CodeLength(entry));
}

#if defined(__GNUC__)
#define TESSALINE_CHUNK_INLINE inline __attribute__((always_inline))
#else
#define TESSALINE_CHUNK_INLINE inline
#endif

// A match with the meaning of a copy symbol by symbol; writes at most 24
// bytes past its end. As in the sequential decoder, one 16-byte step covers
// most matches, and the test of the length after it is well predicted.
template <typename T>
TESSALINE_CHUNK_INLINE void CopyMatch(T* out, uint32_t distance, uint32_t length) {
  constexpr uint32_t kWord = 16 / sizeof(T);
  constexpr uint32_t kHalf = 8 / sizeof(T);
  const T* from = out - distance;
  T* const end = out + length;
  if (distance >= kWord) {
    std::memcpy(out, from, 16);
    if (length <= kWord) return;
    out += kWord;
    from += kWord;
    do {
      std::memcpy(out, from, 16);
      out += kWord;
      from += kWord;
    } while (out < end);
  } else if (distance >= kHalf) {
    std::memcpy(out, from, 8);
    std::memcpy(out + kHalf, from + kHalf, 8);
    std::memcpy(out + 2 * kHalf, from + 2 * kHalf, 8);
    if (length <= 3 * kHalf) return;
    out += 3 * kHalf;
    from += 3 * kHalf;
    do {
      std::memcpy(out, from, 8);
      out += kHalf;
      from += kHalf;
    } while (out < end);
  } else if (distance == 1) {
    std::fill(out, end, *from);
  } else {
    // The pattern laid down one symbol at a time, then 8 bytes at a time
    // from a multiple of the distance at least 8 bytes back.
    for (uint32_t i = 0; i < kHalf; ++i) out[i] = from[i];
    const uint32_t period = distance * ((kHalf + distance - 1) / distance);
    from = out + kHalf - period;
    out += kHalf;
    while (out < end) {
      std::memcpy(out, from, 8);
      out += kHalf;
      from += kHalf;
    }
  }
}

enum class TFastExit { kEndOfBlock, kStopped, kBadLength, kBadDistance, kTooFarBack };

struct TFastState {
  uint64_t buffer;
  uint32_t count;
  const uint8_t* in;
};

// The loop of the sequential decoder, into symbols of either width. Each pass
// starts just after a refill (56 bits or more) with the first-level entry of
// the next code already looked up: up to three first-level literals (11 bits
// each at most) leave the 11 bits of the next lookup; a length with its extra
// bits (31 at most) follows at most two of them; the distance (29 at most)
// and the lookup after it follow a refill. The count of bits held is the low
// byte of left, and a code is consumed by subtracting its whole entry, whose
// low byte is its total: the higher bits only disturb left's higher bytes,
// since the count never goes below zero. The next lookup is made before a
// match is copied, so that the copy does not delay it. Every match, however
// long, is copied here: the caller leaves kTail symbols of room.
template <typename T, bool kBmi2>
TESSALINE_CHUNK_INLINE TFastExit FastLoop(TFastState& state, const uint32_t* lit,
                                          const uint32_t* dist, const uint8_t* inLimit,
                                          T*& outRef, const T* base, T* limit) {
  constexpr uint64_t kLitMask = (uint64_t{1} << kLitBits) - 1;
  uint64_t buffer = state.buffer;
  uint32_t left = state.count;
  const uint8_t* in = state.in;
  T* out = outRef;
  // Once this far from base, no distance reaches back past it.
  const uintptr_t allReachable = reinterpret_cast<uintptr_t>(base) + 65536 * sizeof(T);
  auto held = [&] { return static_cast<uint32_t>(static_cast<uint8_t>(left)); };
  auto refill = [&] {
    buffer |= LoadLe64(in) << (left & 63);
    in += (63 - held()) >> 3;
    left |= 56;
  };
  auto consume = [&](uint32_t entry) {
    buffer >>= (entry & 63);
    left -= entry;
  };
  TFastExit result = TFastExit::kStopped;
  refill();
  uint32_t entry = lit[buffer & kLitMask];
  for (;;) {
    if (entry & Tree::kLiteral) {
      uint32_t literal = entry >> 16;
      consume(entry);
      entry = lit[buffer & kLitMask];
      *out++ = static_cast<T>(literal);
      if (entry & Tree::kLiteral) {
        literal = entry >> 16;
        consume(entry);
        entry = lit[buffer & kLitMask];
        *out++ = static_cast<T>(literal);
        if (entry & Tree::kLiteral) {
          literal = entry >> 16;
          consume(entry);
          entry = lit[buffer & kLitMask];
          *out++ = static_cast<T>(literal);
          if (in > inLimit || out >= limit) break;
          refill();
          continue;
        }
      }
    }
    if (entry & (Tree::kSubtable | Tree::kSpecial)) {
      if (entry & Tree::kSubtable) {
        entry = Tree::Resolve(lit, entry, buffer, kLitBits);
        if (entry & Tree::kLiteral) {
          const uint32_t literal = entry >> 16;
          consume(entry);
          entry = lit[buffer & kLitMask];
          *out++ = static_cast<T>(literal);
          if (in > inLimit || out >= limit) break;
          refill();
          continue;
        }
      }
      if (entry & Tree::kSpecial) {
        if (Tree::Value(entry) == Tree::kEndOfBlock) {
          consume(entry);
          result = TFastExit::kEndOfBlock;
        } else {
          result = TFastExit::kBadLength;
        }
        break;
      }
    }
    const uint32_t length = DfFastValueOf<kBmi2>(buffer, entry);
    consume(entry);
    if (held() < 40) refill();
    entry = Tree::Resolve(dist, dist[buffer & ((uint64_t{1} << kDistBits) - 1)], buffer, kDistBits);
    if (entry & Tree::kSpecial) {
      result = TFastExit::kBadDistance;
      break;
    }
    const uint32_t distance = DfFastValueOf<kBmi2>(buffer, entry);
    consume(entry);
    if (reinterpret_cast<uintptr_t>(out) < allReachable &&
        distance > static_cast<uint64_t>(out - base)) {
      result = TFastExit::kTooFarBack;
      break;
    }
    entry = lit[buffer & kLitMask];
    CopyMatch(out, distance, length);
    out += length;
    if (in > inLimit || out >= limit) break;
    refill();
  }
  state.buffer = buffer;
  state.count = held();
  state.in = in;
  outRef = out;
  return result;
}

#if defined(__x86_64__) || defined(__i386__)
// The same loop built for processors with BMI2, chosen at run time.
template <typename T>
__attribute__((target("bmi2"))) TFastExit FastLoopBmi2(TFastState& state, const uint32_t* lit,
                                                       const uint32_t* dist,
                                                       const uint8_t* inLimit, T*& out,
                                                       const T* base, T* limit) {
  return FastLoop<T, true>(state, lit, dist, inLimit, out, base, limit);
}
#else
template <typename T>
TFastExit FastLoopBmi2(TFastState& state, const uint32_t* lit, const uint32_t* dist,
                       const uint8_t* inLimit, T*& out, const T* base, T* limit) {
  return FastLoop<T, false>(state, lit, dist, inLimit, out, base, limit);
}
#endif

}  // namespace

TAbDfChunkDecoder::TAbDfChunkDecoder(const uint8_t* data, size_t size, bool deflate64)
    : bits_{data, data + size, data, 0, 0}, deflate64_(deflate64) {}

void TAbDfChunkDecoder::StartAt(uint64_t bit) {
  const auto size = static_cast<uint64_t>(bits_.end - bits_.begin);
  const uint64_t byte = std::min(bit / 8, size);
  bits_.next = bits_.begin + byte;
  bits_.buffer = 0;
  bits_.count = 0;
  Fill();
  const auto skip = static_cast<uint32_t>(bit % 8);
  if (byte < size && skip > 0) {
    bits_.buffer >>= skip;
    bits_.count -= skip;
  }
  final_ = false;
  block_ = TBlock::kHeader;
  storedLeft_ = 0;
}

uint64_t TAbDfChunkDecoder::Position() const {
  return static_cast<uint64_t>(bits_.next - bits_.begin) * 8 - bits_.count;
}

void TAbDfChunkDecoder::Fill() {
  while (bits_.count <= 56 && bits_.next < bits_.end) {
    bits_.buffer |= uint64_t{*bits_.next++} << bits_.count;
    bits_.count += 8;
  }
}

uint32_t TAbDfChunkDecoder::ReadBits(uint32_t n) {
  Fill();
  if (bits_.count < n) Corrupt(kNoMoreData);
  const auto value = static_cast<uint32_t>(bits_.buffer & ((uint64_t{1} << n) - 1));
  bits_.buffer >>= n;
  bits_.count -= n;
  return value;
}

void TAbDfChunkDecoder::ReadHeader() {
  final_ = ReadBits(1) != 0;
  switch (ReadBits(2)) {
    case 0: {
      // Stored data is read where it lies: the whole bytes in the buffer go
      // back to the input.
      bits_.buffer >>= bits_.count % 8;
      bits_.count -= bits_.count % 8;
      bits_.next -= bits_.count / 8;
      bits_.buffer = 0;
      bits_.count = 0;
      if (bits_.end - bits_.next < 4) Corrupt(kNoMoreData);
      const uint32_t length = bits_.next[0] | (uint32_t{bits_.next[1]} << 8);
      const uint32_t notLength = bits_.next[2] | (uint32_t{bits_.next[3]} << 8);
      if ((length ^ 0xFFFF) != notLength)
        Corrupt("invalid stored block (length and NOT length do not match) [InflateStoredBlock]");
      bits_.next += 4;
      storedLeft_ = length;
      block_ = TBlock::kStored;
      break;
    }
    case 1:
      litLen_ = &FixedLitLenTree(deflate64_);
      distance_ = &FixedDistanceTree(deflate64_);
      block_ = TBlock::kCoded;
      break;
    case 2:
      ReadDynamicTables();
      litLen_ = &trees_.litLen;
      distance_ = &trees_.distance;
      block_ = TBlock::kCoded;
      break;
    default:
      Corrupt("starting new block, but invalid block type [Inflate]");
  }
}

void TAbDfChunkDecoder::ReadDynamicTables() {
  const auto litCount = static_cast<int>(ReadBits(5)) + 257;
  const auto distCount = static_cast<int>(ReadBits(5)) + 1;
  const auto codeLengthCount = static_cast<int>(ReadBits(4)) + 4;
  if (litCount > 286)
    Corrupt("count of literal codes in dynamic block is greater than 286 [InflateDynamicBlock]");
  if (!deflate64_ && distCount > 30)
    Corrupt("count of distance codes in dynamic block is greater than 30 [InflateDynamicBlock]");
  uint8_t codeLengths[19] = {};
  for (int i = 0; i < codeLengthCount; ++i)
    codeLengths[kDfCodeLengthOrder[i]] = static_cast<uint8_t>(ReadBits(3));
  trees_.codeLengths.Build(codeLengths, 19, deflate64_);

  uint8_t* const lengths = trees_.lengths;
  std::memset(lengths, 0, sizeof trees_.lengths);
  ReadDfCodeLengths(
      litCount + distCount, lengths,
      [this] {
        Fill();
        return trees_.codeLengths.Decode(bits_.buffer);
      },
      [this](uint32_t total) {
        if (total > bits_.count) Corrupt(kNoMoreData);
        bits_.buffer >>= total;
        bits_.count -= total;
      },
      [this](int n) { return ReadBits(n); });
  trees_.litLen.Build(lengths, litCount, deflate64_);
  trees_.distance.Build(lengths + litCount, distCount, deflate64_);
}

template <typename T>
void TAbDfChunkDecoder::CopyStored(T*& out, T* limit) {
  const auto room = static_cast<size_t>(limit > out ? limit - out : 0);
  const auto available = static_cast<size_t>(bits_.end - bits_.next);
  const size_t n = std::min({static_cast<size_t>(storedLeft_), room, available});
  if (n == 0 && room > 0) Corrupt(kNoMoreData);
  if constexpr (sizeof(T) == 1) {
    std::memcpy(out, bits_.next, n);
  } else {
    for (size_t i = 0; i < n; ++i) out[i] = bits_.next[i];
  }
  out += n;
  bits_.next += n;
  storedLeft_ -= static_cast<uint32_t>(n);
}

// True at the end of the block; false when the input runs low or the output
// reaches its limit.
template <typename T>
bool TAbDfChunkDecoder::DecodeFast(T*& out, const T* base, T* limit) {
  if (bits_.end - bits_.next < kMargin || out >= limit) return false;
  TFastState state{bits_.buffer, bits_.count, bits_.next};
  const uint32_t* const lit = litLen_->Table();
  const uint32_t* const dist = distance_->Table();
  const uint8_t* const inLimit = bits_.end - kMargin;
  const TFastExit exit = rtl::CpuFeatures().bmi2
                             ? FastLoopBmi2(state, lit, dist, inLimit, out, base, limit)
                             : FastLoop<T, false>(state, lit, dist, inLimit, out, base, limit);
  // Only the bits below the count stay: the careful path takes bits above
  // it for the zeros past the end of the input.
  bits_.buffer = state.buffer & ((uint64_t{1} << state.count) - 1);
  bits_.count = state.count;
  bits_.next = state.in;
  switch (exit) {
    case TFastExit::kBadLength:
      Corrupt(kInvalidLength);
    case TFastExit::kBadDistance:
      Corrupt(kInvalidDistance);
    case TFastExit::kTooFarBack:
      Corrupt(kTooFarBack);
    case TFastExit::kEndOfBlock:
      return true;
    default:
      return false;
  }
}

// One literal, match or end of block, every bound checked; true at the end
// of the block.
template <typename T>
bool TAbDfChunkDecoder::DecodeCarefully(T*& out, const T* base) {
  Fill();
  uint32_t entry = litLen_->Decode(bits_.buffer);
  if ((entry & Tree::kSpecial) && Tree::Value(entry) == Tree::kInvalid) Corrupt(kInvalidLength);
  if (Tree::Total(entry) > bits_.count) Corrupt(kNoMoreData);
  const uint32_t value = ValueOf(bits_.buffer, entry);
  bits_.buffer >>= Tree::Total(entry);
  bits_.count -= Tree::Total(entry);
  if (entry & Tree::kLiteral) {
    *out++ = static_cast<T>(value);
    return false;
  }
  if (entry & Tree::kSpecial) return true;
  const uint32_t length = value;
  Fill();
  entry = distance_->Decode(bits_.buffer);
  if (entry & Tree::kSpecial) Corrupt(kInvalidDistance);
  if (Tree::Total(entry) > bits_.count) Corrupt(kNoMoreData);
  const uint32_t distance = ValueOf(bits_.buffer, entry);
  bits_.buffer >>= Tree::Total(entry);
  bits_.count -= Tree::Total(entry);
  if (distance > static_cast<uint64_t>(out - base)) Corrupt(kTooFarBack);
  for (uint32_t i = 0; i < length; ++i) out[i] = out[static_cast<ptrdiff_t>(i) - distance];
  out += length;
  return false;
}

template <typename T>
TAbDfChunkDecoder::TStop TAbDfChunkDecoder::Decode(T*& out, const T* base, T* limit,
                                                   uint64_t stopBit) {
  for (;;) {
    bool blockEnded = false;
    switch (block_) {
      case TBlock::kDone:
        return TStop::kEnd;
      case TBlock::kHeader:
        if (Position() >= stopBit) return TStop::kBoundary;
        ReadHeader();
        continue;
      case TBlock::kStored:
        if (storedLeft_ > 0) CopyStored(out, limit);
        blockEnded = storedLeft_ == 0;
        break;
      case TBlock::kCoded:
        if (out >= limit) return TStop::kFull;
        blockEnded = DecodeFast(out, base, limit);
        while (!blockEnded && out < limit && bits_.end - bits_.next < kMargin)
          blockEnded = DecodeCarefully(out, base);
        break;
    }
    if (blockEnded) {
      block_ = final_ ? TBlock::kDone : TBlock::kHeader;
    } else if (out >= limit) {
      return TStop::kFull;
    }
  }
}

template TAbDfChunkDecoder::TStop TAbDfChunkDecoder::Decode<uint8_t>(uint8_t*&, const uint8_t*,
                                                                     uint8_t*, uint64_t);
template TAbDfChunkDecoder::TStop TAbDfChunkDecoder::Decode<uint16_t>(uint16_t*&, const uint16_t*,
                                                                      uint16_t*, uint64_t);

}  // namespace ab
