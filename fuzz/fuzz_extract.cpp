// Whole archives of arbitrary bytes: the catalogue is loaded (odd-sized
// inputs with their offsets allowed to be shifted) and every member decoded
// into the bit bucket, with a password and a password source set so that the
// encrypted paths run too. Members go alternately to the bit bucket (a test:
// decoders only count) and to a counting sink (an extraction: every byte is
// written). Failures must be exceptions, never crashes, hangs or reads
// outside a buffer, and no member may hand on more than it declares.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "archive/AbUnzMember.h"
#include "rtl/Stream.h"

namespace {

// Drops what is written but, unlike the bit bucket, is not known to the
// decoders as a test: they hand it every byte.
class TCountingSink : public rtl::TStream {
 public:
  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void*, int32_t count) override {
    if (count > 0) size_ += count;
    return count < 0 ? 0 : count;
  }
  int64_t Seek(int64_t, int) override { return size_; }
  int64_t Size() override { return size_; }

 private:
  int64_t size_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto stream = std::make_unique<rtl::TMemoryStream>(std::vector<uint8_t>(data, data + size));
  ab::TAbZipArchive archive(std::move(stream), "fuzz.zip");
  archive.SetAllowOffsetShift(size % 2 == 1);
  try {
    archive.LoadCatalogue();
  } catch (const std::exception&) {
  }
  archive.SetArchivePassword("12345678");
  int asked = 0;
  archive.OnPasswordRequest = [&asked](void*, std::string& password) {
    if (++asked < 3) password = "wrong";
  };
  for (int32_t i = 0; i < archive.ItemCount(); ++i) {
    ab::TAbBitBucketStream bucket;
    TCountingSink sink;
    rtl::TStream& output = i % 2 == 0 ? static_cast<rtl::TStream&>(bucket) : sink;
    try {
      ab::DecodeMemberToStream(archive, archive.Item(i), &output);
    } catch (const std::exception&) {
    }
    if (static_cast<uint64_t>(output.Size()) > archive.Item(i).UncompressedSize64())
      __builtin_trap();
  }
  return 0;
}
