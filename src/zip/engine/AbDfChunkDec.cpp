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
// it, which is why the caller leaves that much room.
#include "zip/engine/AbDfChunkDec.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbDfCodeLengths.h"

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

// A match with the meaning of a copy symbol by symbol, 16 bytes at a time;
// writes at most 16 bytes past its end.
template <typename T>
inline void CopyMatch(T* out, uint32_t distance, uint32_t length) {
  constexpr uint32_t kWord = 16 / sizeof(T);
  const T* from = out - distance;
  T* const end = out + length;
  if (distance >= kWord) {
    do {
      std::memcpy(out, from, 16);
      out += kWord;
      from += kWord;
    } while (out < end);
  } else if (distance == 1) {
    std::fill(out, end, *from);
  } else {
    // The pattern laid down one symbol at a time, then whole words from a
    // multiple of the distance at least a word back.
    for (uint32_t i = 0; i < kWord; ++i) out[i] = from[i];
    const uint32_t period = distance * ((kWord + distance - 1) / distance);
    from = out + kWord - period;
    out += kWord;
    while (out < end) {
      std::memcpy(out, from, 16);
      out += kWord;
      from += kWord;
    }
  }
}

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
// reaches its limit. Each pass starts just after a refill (56 bits or more)
// with the first-level entry of the next code already looked up: up to three
// first-level literals (11 bits each at most) leave the 11 bits of the next
// lookup; a length with its extra bits (31 at most) follows at most two of
// them; the distance (29 at most) and the lookup after it follow a refill.
// The next lookup is made before a match is copied, so that the copy does not
// delay it.
template <typename T>
bool TAbDfChunkDecoder::DecodeFast(T*& outRef, const T* base, T* limit) {
  if (bits_.end - bits_.next < kMargin) return false;
  const uint8_t* const inLimit = bits_.end - kMargin;
  const uint32_t* const lit = litLen_->Table();
  const uint32_t* const dist = distance_->Table();
  constexpr uint64_t kLitMask = (uint64_t{1} << kLitBits) - 1;
  constexpr uint64_t kDistMask = (uint64_t{1} << kDistBits) - 1;
  uint64_t buffer = bits_.buffer;
  uint32_t count = bits_.count;
  const uint8_t* in = bits_.next;
  T* out = outRef;
  bool endOfBlock = false;
  const char* error = nullptr;
  auto refill = [&] {
    buffer |= LoadLe64(in) << count;
    in += (63 - count) >> 3;
    count |= 56;
  };
  auto consume = [&](uint32_t entry) {
    buffer >>= Tree::Total(entry);
    count -= Tree::Total(entry);
  };
  // Puts out a literal entry's byte and looks the next code up.
  auto literal = [&](uint32_t& entry) {
    consume(entry);
    *out++ = static_cast<T>(entry >> 16);
    entry = lit[buffer & kLitMask];
  };
  if (out < limit) {
    refill();
    uint32_t entry = lit[buffer & kLitMask];
    for (;;) {
      if (entry & Tree::kLiteral) {
        literal(entry);
        if (entry & Tree::kLiteral) {
          literal(entry);
          if (entry & Tree::kLiteral) {
            literal(entry);
            if (in > inLimit || out >= limit) break;
            refill();
            continue;
          }
        }
      }
      if (entry & Tree::kSubtable) {
        entry = Tree::Resolve(lit, entry, buffer, kLitBits);
        if (entry & Tree::kLiteral) {
          literal(entry);
          if (in > inLimit || out >= limit) break;
          refill();
          continue;
        }
      }
      if (entry & Tree::kSpecial) {
        if (Tree::Value(entry) == Tree::kEndOfBlock) {
          consume(entry);
          endOfBlock = true;
        } else {
          error = kInvalidLength;
        }
        break;
      }
      const uint32_t length = ValueOf(buffer, entry);
      consume(entry);
      if (count < 40) refill();
      entry = Tree::Resolve(dist, dist[buffer & kDistMask], buffer, kDistBits);
      if (entry & Tree::kSpecial) {
        error = kInvalidDistance;
        break;
      }
      const uint32_t distance = ValueOf(buffer, entry);
      consume(entry);
      if (distance > static_cast<uint64_t>(out - base)) {
        error = kTooFarBack;
        break;
      }
      entry = lit[buffer & kLitMask];
      CopyMatch(out, distance, length);
      out += length;
      if (in > inLimit || out >= limit) break;
      refill();
    }
  }
  // Only the bits below the count stay: the careful path takes bits above
  // it for the zeros past the end of the input.
  bits_.buffer = buffer & ((uint64_t{1} << count) - 1);
  bits_.count = count;
  bits_.next = in;
  outRef = out;
  if (error != nullptr) Corrupt(error);
  return endOfBlock;
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
