// The reading library on arbitrary bytes: opened with the options a tool
// may choose (from the input's size), its entries walked and each one tested
// or extracted, with a password and a way to ask for another; inputs whose
// size divides by 3 are read as the last part of a split set whose earlier
// parts are copies of the input. Failures must be zip::Error, never crashes,
// hangs, leaks or sanitizer reports; no entry may hand on more than it
// declares, and an entry read by index must be the one the walk gave.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "zip/Archive.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto source = std::make_shared<zip::MemorySource>(std::vector<uint8_t>(data, data + size));
  zip::OpenOptions options;
  options.allowOffsetShift = size % 2 == 1;
  options.acceptNewerVersions = size % 5 != 0;
  options.tolerateDirectoryMismatch = size % 7 != 0;
  if (size % 3 == 0) {
    options.openPart = [source](uint32_t disk, uint32_t) -> std::shared_ptr<const zip::Source> {
      return disk < 3 ? source : nullptr;
    };
  }
  try {
    const zip::Archive archive = zip::Archive::Open(source, options);
    if (archive.PartCount() > 4) __builtin_trap();
    zip::Reader reader(archive);
    int asked = 0;
    zip::ReadOptions reading;
    reading.password = "12345678";
    reading.askPassword = [&asked](const zip::Entry&) -> std::optional<std::string> {
      if (++asked < 3) return std::string("wrong");
      return std::nullopt;
    };
    for (const zip::Entry& entry : archive.Entries()) {
      if (entry.Index() % 7 == 0 && archive.At(entry.Index()).Name() != entry.Name())
        __builtin_trap();
      try {
        if (entry.Index() % 2 == 0) {
          reader.Test(entry, reading);
        } else {
          zip::CountingSink sink;
          try {
            reader.Extract(entry, sink, reading);
          } catch (const zip::Error&) {
          }
          if (sink.Count() > entry.Size()) __builtin_trap();
        }
      } catch (const zip::Error&) {
      }
    }
  } catch (const zip::Error&) {
  }
  return 0;
}
