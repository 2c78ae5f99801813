// Where a Deflate block may start, for a decoder that joins a stream in the
// middle: the bit positions whose bits read as the header of a non-final
// dynamic block with complete codes, or of a non-final stored block whose
// length and its complement agree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace ab {

// The first candidate at or after fromBit and before toBit in the size bytes
// at data. A stored block is named by the bit three before its length field
// (its header bits then read 000, as a compressor that starts it there
// writes them), and only when the earliest bit its header could start at is
// fromBit or later, so that one stored block has one name however much
// padding came before its length. A candidate is only likely: the caller
// decodes from it to find out.
std::optional<uint64_t> FindBlockStart(const uint8_t* data, size_t size, uint64_t fromBit,
                                       uint64_t toBit, bool deflate64);

// The name FindBlockStart would give the block whose header is at bit: bit
// itself, or for a stored block the bit three before its length field.
uint64_t CanonicalBlockStart(const uint8_t* data, size_t size, uint64_t bit);

}  // namespace ab
