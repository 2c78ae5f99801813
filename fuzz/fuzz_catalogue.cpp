// LoadCatalogue on arbitrary bytes, then the name index, the masks and the
// driver over whatever was read. Any exception is a clean refusal; crashes,
// leaks, hangs and sanitizer reports are the findings.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "archive/AbZipTyp.h"
#include "rtl/Stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto stream = std::make_unique<rtl::TMemoryStream>(std::vector<uint8_t>(data, data + size));
  ab::TAbZipArchive archive(std::move(stream), "fuzz.zip");
  try {
    archive.LoadCatalogue();
  } catch (const std::exception&) {
    // Items read before a failure stay in the catalogue: go on with them.
  }
  for (int32_t i = 0; i < archive.ItemCount(); ++i) {
    const ab::TAbZipItem& item = archive.Item(i);
    if (archive.Items().FindByName(item.ItemName()) < 0) __builtin_trap();
    (void)item.MatchesMaskList("*.*;docs\\*.TXT;;C:\\A?C\\*B*");
    (void)item.ExtraField();
  }
  int32_t visited = 0;
  archive.ExtractHook = [&](ab::TAbZipArchive&, ab::TAbZipItem&, const std::string&) { ++visited; };
  try {
    archive.ExtractMatchingExcept("*", "*.X");
  } catch (const std::exception&) {
  }
  if (visited > archive.ItemCount()) __builtin_trap();
  return 0;
}
