// Whole archives of arbitrary bytes: the catalogue is loaded (odd-sized
// inputs with their offsets allowed to be shifted) and every member decoded
// into the bit bucket, with a password and a password source set so that the
// encrypted paths run too. Members go alternately to the bit bucket (a test:
// decoders only count) and to a counting sink (an extraction: every byte is
// written). Failures must be exceptions, never crashes, hangs or reads
// outside a buffer; no member may hand on more than it declares, nor read a
// byte outside its local header and declared compressed span (checked on
// half the inputs, through a stream the decoders do not take for memory).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "archive/AbUnzMember.h"
#include "rtl/Stream.h"
#include "zip/Sink.h"
#include "zip/Streams.h"

namespace {

// A memory stream that remembers the bytes read since it was last cleared.
class TReadRecordingStream : public rtl::TMemoryStream {
 public:
  using rtl::TMemoryStream::TMemoryStream;
  int32_t Read(void* buffer, int32_t count) override {
    const int64_t at = Position();
    const int32_t n = rtl::TMemoryStream::Read(buffer, count);
    if (n > 0) {
      lowest_ = std::min(lowest_, at);
      highest_ = std::max(highest_, at + n);
    }
    return n;
  }
  void Clear() { lowest_ = INT64_MAX, highest_ = 0; }
  // Whether every byte read since lies in [start, end).
  bool ReadOnlyWithin(uint64_t start, uint64_t end) const {
    return highest_ == 0 ||
           (static_cast<uint64_t>(lowest_) >= start && static_cast<uint64_t>(highest_) <= end);
  }

 private:
  int64_t lowest_ = INT64_MAX;
  int64_t highest_ = 0;
};

// Where a member's local header says its data ends; the input's end when
// the header's fixed part runs past it (reading it is no fault).
uint64_t MemberSpanEnd(const uint8_t* data, size_t size, const ab::TAbZipItem& item) {
  const uint64_t offset = item.LocalHeaderOffset64();
  if (offset > size || size - offset < 30) return size;
  const uint8_t* header = data + offset;
  const uint64_t variable = (header[26] | header[27] << 8) + (header[28] | header[29] << 8);
  return offset + 30 + variable + item.CompressedSize64();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> bytes(data, data + size);
  TReadRecordingStream* recorder = nullptr;
  std::unique_ptr<rtl::TMemoryStream> stream;
  if (size % 4 < 2) {
    auto recording = std::make_unique<TReadRecordingStream>(std::move(bytes));
    recorder = recording.get();
    stream = std::move(recording);
  } else {
    stream = std::make_unique<rtl::TMemoryStream>(std::move(bytes));
  }
  ab::TAbZipArchive archive(std::move(stream), "fuzz.zip");
  archive.SetAllowOffsetShift(size % 2 == 1);
  archive.SetAcceptsNewerVersions(size % 3 != 0);
  archive.SetToleratesDirectoryMismatch(size % 5 != 0);
  try {
    archive.LoadCatalogue();
  } catch (const std::exception&) {
  }
  archive.SetArchivePassword("12345678");
  int asked = 0;
  archive.OnPasswordRequest = [&asked](void*, std::string& password) {
    if (++asked < 3) password = "wrong";
  };
  try {
    // The local headers are all read once, before any member's decode.
    if (archive.ItemCount() > 0) archive.CheckMemberSpans();
  } catch (const std::exception&) {
  }
  for (int32_t i = 0; i < archive.ItemCount(); ++i) {
    if (recorder != nullptr) recorder->Clear();
    ab::TAbBitBucketStream bucket;
    // Unlike the bit bucket, not known to the decoders as a test: they hand
    // it every byte.
    zip::CountingSink counted;
    zip::SinkStream sink(&counted);
    rtl::TStream& output = i % 2 == 0 ? static_cast<rtl::TStream&>(bucket) : sink;
    try {
      ab::DecodeMemberToStream(archive, archive.Item(i), &output);
    } catch (const std::exception&) {
    }
    if (static_cast<uint64_t>(output.Size()) > archive.Item(i).UncompressedSize64())
      __builtin_trap();
    const ab::TAbZipItem& item = archive.Item(i);
    // Spans that could not be checked are read again at every decode.
    if (recorder != nullptr && archive.MemberSpansChecked() &&
        !recorder->ReadOnlyWithin(item.LocalHeaderOffset64(), MemberSpanEnd(data, size, item)))
      __builtin_trap();
  }
  return 0;
}
