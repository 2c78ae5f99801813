// LoadCatalogue on arbitrary bytes, then the name index, the masks, the
// decoded facts of every item, the member spans and the driver over whatever
// was read. Odd-sized inputs may be read with their offsets shifted. Any
// exception is a clean refusal; crashes, leaks, hangs, sanitizer reports and
// broken invariants (a Unicode name that is no UTF-8, a split path that
// climbs out) are the findings.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <vector>

#include "archive/AbZipTyp.h"
#include "os/text.h"
#include "rtl/Stream.h"
#include "zip/engine/AbUtils.h"

namespace {

void CheckFacts(const ab::TAbZipItem& item) {
  if (!os::text::IsValidUtf8(item.UnicodeName())) __builtin_trap();
  (void)item.IsFolder();
  (void)item.IsSymbolicLink();
  (void)item.ModifiedTime();
  (void)item.AccessedTime();
  try {
    const ab::TAbMemberPath path = ab::SplitMemberPath(item.UnicodeName());
    for (const std::string& component : path.components) {
      if (component.empty() || component == "." || component == ".." ||
          component.find('/') != std::string::npos)
        __builtin_trap();
    }
  } catch (const ab::EAbZipUnsafeName&) {
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto stream = std::make_unique<rtl::TMemoryStream>(std::vector<uint8_t>(data, data + size));
  ab::TAbZipArchive archive(std::move(stream), "fuzz.zip");
  archive.SetAllowOffsetShift(size % 2 == 1);
  try {
    archive.LoadCatalogue();
  } catch (const std::exception&) {
    // Items read before a failure stay in the catalogue: go on with them.
  }
  if (archive.OffsetShift() > size) __builtin_trap();
  for (int32_t i = 0; i < archive.ItemCount(); ++i) {
    const ab::TAbZipItem& item = archive.Item(i);
    if (archive.Items().FindByName(item.ItemName()) < 0) __builtin_trap();
    (void)item.MatchesMaskList("*.*;docs\\*.TXT;;C:\\A?C\\*B*");
    (void)item.ExtraField();
    CheckFacts(item);
  }
  archive.SetNameCharset("cp866");
  for (int32_t i = 0; i < archive.ItemCount(); ++i) CheckFacts(archive.Item(i));
  archive.CheckMemberSpans();
  int32_t visited = 0;
  archive.ExtractHook = [&](ab::TAbZipArchive&, ab::TAbZipItem&, const std::string&) { ++visited; };
  try {
    archive.ExtractMatchingExcept("*", "*.X");
  } catch (const std::exception&) {
  }
  if (visited > archive.ItemCount()) __builtin_trap();
  return 0;
}
