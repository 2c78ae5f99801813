// What goes wrong reading an archive, in a few categories a caller can act
// on, each error's message in UTF-8 naming the entry and the rule it broke.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace zip {

enum class Failure : uint8_t {
  kNotZip,         // no ZIP archive: no end record, or one that leads nowhere
  kDamaged,        // a damaged directory, header or data, a failed CRC-32 check
  kUnsupported,    // a method, cipher or split set this reader does not read
  kWrongPassword,  // no password, or none that opens the entry
  kUnsafe,         // data built to harm: members sharing bytes, for one
  kIo,             // the system failed to read the archive
  kCancelled,      // the caller's progress callback asked to stop
};

// The few causes within a category that a caller may act on differently;
// most failures say nothing finer than their category (kOther).
enum class Cause : uint8_t {
  kOther,
  kArchiveDamaged,  // kDamaged: the archive's own records (end records, the
                    // directory, a local header) are broken, not one entry's data
  kSplitPart,       // kUnsupported: one part of a split set, read alone
  kMissingPart,     // kIo: a part of a split set cannot be had
  kUnknownCharset,  // kUnsupported: OpenOptions::nameCharset names none the system knows
  kOverlap,         // kUnsafe: entries share bytes with one another or the directory
  kUnsafeName,      // kUnsafe: a name (or a link's target) that would put a file
                    // outside the target folder, or no name to put it under
};

class Error : public std::runtime_error {
 public:
  // what() is "entry: rule", or the rule alone for the archive as a whole.
  Error(Failure failure, const std::string& rule, std::string entry = "",
        zip::Cause cause = zip::Cause::kOther)
      : std::runtime_error(entry.empty() ? rule : entry + ": " + rule),
        failure_(failure),
        rule_(rule),
        entry_(std::move(entry)),
        cause_(cause) {}

  Failure Category() const { return failure_; }
  // What was wrong, without the entry's name.
  const std::string& Rule() const { return rule_; }
  // The entry's UTF-8 name, or "" for the archive as a whole.
  const std::string& Entry() const { return entry_; }
  zip::Cause Cause() const { return cause_; }

 private:
  Failure failure_;
  std::string rule_;
  std::string entry_;
  zip::Cause cause_;
};

}  // namespace zip
