// A ZIP archive read once, in order, from an input that cannot be sought (a
// pipe, standard input, a FIFO): each member by its local header, its data
// decoded as it passes through a window of bounded size, whatever the
// archive's size. The central directory, when it arrives, is checked against
// the members read.
//
//   auto input = zip::StandardInput();
//   zip::StreamReader reader(*input);
//   while (const zip::Entry* entry = reader.Next()) reader.Test();
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip/Archive.h"

namespace zip {

// Bytes read once, in order.
class Input {
 public:
  virtual ~Input() = default;
  // Up to count bytes, at least one but at the end of the input (0).
  // Throws zip::Error (kIo) when the system fails.
  virtual size_t Read(void* buffer, size_t count) = 0;
};

std::unique_ptr<Input> StandardInput();
// The file at a UTF-8 path when it can only be read once, in order (a FIFO,
// a character device); nullptr for one that can be read anywhere or not
// opened at all, which OpenFile reads or names the fault of.
std::unique_ptr<Input> OpenIfUnseekable(const std::string& path);

class StreamReader {
 public:
  explicit StreamReader(Input& input, const OpenOptions& options = {});
  ~StreamReader();
  StreamReader(const StreamReader&) = delete;
  StreamReader& operator=(const StreamReader&) = delete;

  // The next member, the rest of the one before passed over; nullptr once
  // the central directory is read. kDamaged when no member or directory
  // follows (bytes that are none, an input that ends before its directory),
  // or when a member before could not be read to its end, which leaves the
  // ones after it out of reach.
  const Entry* Next();
  // Decodes the member Next gave into sink, or tests it; once for each. Its
  // sizes and CRC-32, where a data descriptor after its data holds them, are
  // the entry's from then on. A member whose end its headers cannot tell
  // (stored, or of a method that does not end by itself, with its sizes only
  // in the descriptor) is refused as kUnsupported, and the ones after it are
  // out of reach.
  void Extract(Sink& sink, const ReadOptions& options = {});
  void Test(const ReadOptions& options = {});

  // The bytes before the first member (a self-extractor's program).
  uint64_t LeadingBytes() const;
  // Once Next gave nullptr: each way the central directory contradicts the
  // members read (their names, methods, CRC-32s, sizes, offsets or count).
  const std::vector<std::string>& Contradictions() const;
  // Whether the directory's offsets count from the first member, leaving
  // the leading bytes out.
  bool OffsetsShifted() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zip
