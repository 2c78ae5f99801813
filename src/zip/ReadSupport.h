// What the archive's reader and the stream reader share: entries built from
// decoded headers, failures turned into zip::Error, and one entry's data run
// through the member decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>

#include "rtl/Stream.h"
#include "zip/Archive.h"
#include "zip/engine/AbMemberChain.h"
#include "zip/engine/AbZipRecords.h"

namespace zip {

// The category of a failure inside the reader, and its text in UTF-8.
Error Translate(const std::exception& error, const std::string& entry);

// Runs f, turning whatever the reader throws into a zip::Error; what is not
// an exception of the reader's (std::bad_alloc) passes as it is.
template <typename F>
auto Guarded(const std::string& entry, F&& f) {
  try {
    return f();
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& error) {
    throw Translate(error, entry);
  }
}

// Turns a decoded directory entry into the library's value.
class EntryBuilder {
 public:
  // Fills e, whose strings keep their storage from one entry to the next.
  static void Build(const void* owner, size_t index, const ab::TAbZipDirectoryFileHeader& h,
                    const ab::TAbEntryFacts& facts, Entry& e,
                    NameCase nameCase = NameCase::kAsStored);
  // What reading the entry's data taught of it, where its headers left it
  // to a data descriptor.
  static void SetMeasured(Entry& e, uint64_t compressedSize, uint64_t size, uint32_t crc32) {
    e.compressedSize_ = compressedSize;
    e.size_ = size;
    e.crc32_ = crc32;
  }
  static void SetLocalHeaderOffset(Entry& e, uint64_t offset) { e.localHeaderOffset_ = offset; }

  // What the member decoder needs, taken from the entry as it was decoded.
  static const void* Owner(const Entry& e) { return e.owner_; }
  static ab::TAbMemberHeader HeaderOf(const Entry& e) {
    return {e.method_, e.flags_, e.versionNeeded_, e.crc32_, e.winZipAesField_};
  }
  static ab::TAbEntryFacts FactsOf(const Entry& e) {
    ab::TAbEntryFacts facts;
    facts.compressedSize = e.compressedSize_;
    facts.uncompressedSize = e.size_;
    facts.localHeaderOffset = e.localHeaderOffset_;
    facts.diskNumberStart = e.disk_;
    facts.extraFieldDamaged = e.extraFieldDamaged_;
    facts.extraFieldPartLost = e.extraFieldPartLost_;
    return facts;
  }
};

// The caller's password and the way to another.
class OptionPasswords final : public ab::TAbPasswordKeeper {
 public:
  OptionPasswords(const ReadOptions& options, const Entry& entry)
      : options_(options), entry_(entry), password_(options.password) {}
  const std::string& Password() const override { return password_; }
  void SetPassword(std::string password) override { password_ = std::move(password); }
  uint8_t TryLimit() const override { return options_.passwordTries; }
  bool CanAsk() const override { return static_cast<bool>(options_.askPassword); }
  std::string Ask(void*) override { return options_.askPassword(entry_).value_or(""); }

 private:
  const ReadOptions& options_;
  const Entry& entry_;
  std::string password_;
};

// How one entry's data is decoded: where its local header lies (in facts),
// and what the reader that asks allows.
struct EntryDecoding {
  const Entry& entry;
  ab::TAbEntryFacts facts;
  std::function<bool()> spanOverlaps;
  bool acceptNewerVersions = true;
  unsigned threads = 1;
  const ab::TAbSpanMapper* mapper = nullptr;
};

// Runs the member chain on the entry from input into sink (nullptr tests it),
// then check with what it decoded and the count written. Every failure
// becomes a zip::Error naming the entry, but for what the sink threw and
// std::bad_alloc, which pass as they were.
void DecodeEntry(const EntryDecoding& decoding, rtl::TStream& input, Sink* sink,
                 const ReadOptions& options,
                 const std::function<void(const ab::TAbDecodedMember&, uint64_t written)>& check);

}  // namespace zip
