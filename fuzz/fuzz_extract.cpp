// Whole archives of arbitrary bytes: the catalogue is loaded (odd-sized
// inputs with their offsets allowed to be shifted) and every member decoded
// into the bit bucket, with a password and a password source set so that the
// encrypted paths run too. Failures must be exceptions, never crashes, hangs
// or reads outside a buffer, and no member may produce more than it declares.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "archive/AbUnzMember.h"
#include "rtl/Stream.h"

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
    try {
      ab::DecodeMemberToStream(archive, archive.Item(i), &bucket);
    } catch (const std::exception&) {
    }
    if (static_cast<uint64_t>(bucket.Size()) > archive.Item(i).UncompressedSize64())
      __builtin_trap();
  }
  return 0;
}
