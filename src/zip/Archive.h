// A ZIP archive read from a random-access source: its catalogue, and each
// entry decoded into a sink or tested. The catalogue keeps one small record
// per entry (where its directory entry lies) and decodes an entry when it is
// asked for, so that an archive of a million members costs a few megabytes.
//
//   auto archive = zip::Archive::Open(zip::OpenFile("a.zip"));
//   for (const zip::Entry& entry : archive.Entries()) {
//     zip::MemorySink bytes;
//     archive.Extract(entry, bytes);
//   }
//
// An Archive may be read from several threads at once; a Reader belongs to
// one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "zip/Entry.h"
#include "zip/Error.h"
#include "zip/Sink.h"
#include "zip/Source.h"

namespace zip {

// The smallest archive there is: its end record without a comment.
inline constexpr uint64_t kEndRecordSize = 22;

// Whether entry names are lowercased, as UnZip's -L and -LL do it.
enum class NameCase : uint8_t {
  kAsStored,
  // Names made on hosts whose file systems keep a single letter case
  // (MS-DOS FAT, VMS, VM/CMS, CP/M, TOPS-20, MVS, Tandem NSK): their
  // upper case says nothing the writer chose.
  kLowerSingleCaseHosts,
  kLowerAll,
};

struct OpenOptions {
  // Offsets that count from the start of the ZIP part rather than of the
  // source (a ZIP appended to a program by a tool that left them so) are
  // found and shifted.
  bool allowOffsetShift = true;
  // A directory whose entries are not the ones its end record counts and
  // sizes is read as far as both agree (DirectoryMismatch() says so),
  // rather than refused.
  bool tolerateDirectoryMismatch = false;
  // Entries that need a version above 2.0 are read when their method is;
  // otherwise they are refused as the oldest readers did.
  bool acceptNewerVersions = true;
  // The code page of names that say nothing of their own, as iconv names
  // it; "" for the IBM PC's code page 437.
  std::string nameCharset;
  // Lowercases ASCII letters of Name() (RawName() keeps the bytes), so that
  // every reader of the entry sees the one name.
  NameCase nameCase = NameCase::kAsStored;
  // When set, the last part of a split set is read with its other parts:
  // asked for the part on disk (0 for the first) of a set whose last part,
  // the source, is on lastDisk. It returns the part, or throws a zip::Error
  // naming the part it cannot find. Unset, such a part is refused as
  // kUnsupported.
  std::function<std::shared_ptr<const Source>(uint32_t disk, uint32_t lastDisk)> openPart;
};

struct ReadOptions {
  // The password to try first.
  std::string password;
  // Asked for a password when none was given or the last one failed;
  // nothing (or "") gives up with kWrongPassword.
  std::function<std::optional<std::string>(const Entry&)> askPassword;
  // How many more passwords may be asked for after the first fails.
  uint8_t passwordTries = 3;
  // Called as the entry is decoded, with its percentage; false stops the
  // read with kCancelled.
  std::function<bool(uint8_t percent)> progress;
  // The most threads one large Deflate entry of a file may be decoded on at
  // once; the output is the same on any number.
  unsigned threads = 1;
};

// Whether ReadOptions::threads above 1 may decode the entry on several
// threads (a large Deflate or Deflate64 entry of a file, not encrypted): a
// caller that spreads entries over threads of its own gives it all of them.
bool DecodesOnSeveralThreads(const Entry& entry);

// The name under which split writers (Info-ZIP's zip -s, WinZip) put the
// part on `disk` (0 for the first) beside the last part, on lastDisk: a.zip
// gives a.z01, a.z02, ... a.z99, a.z100; the last part keeps its own name.
// The letter's case follows the extension's.
std::string SplitPartName(const std::string& lastPart, uint32_t disk, uint32_t lastDisk);

class Archive;

// Entries in catalogue order, reading the directory a block at a time.
class EntryRange {
 public:
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = const Entry*;
    using reference = const Entry&;

    const Entry& operator*() const { return entry_; }
    const Entry* operator->() const { return &entry_; }
    Iterator& operator++();
    friend bool operator==(const Iterator& a, const Iterator& b) { return a.index_ == b.index_; }

   private:
    friend class EntryRange;
    struct Cursor;
    Iterator(const Archive& archive, size_t index, std::shared_ptr<Cursor> cursor);
    void Load();

    const Archive* archive_;
    size_t index_;
    std::shared_ptr<Cursor> cursor_;
    Entry entry_;
  };

  Iterator begin() const;
  Iterator end() const;

 private:
  friend class Archive;
  explicit EntryRange(const Archive& archive) : archive_(archive) {}
  const Archive& archive_;
};

class Archive {
 public:
  // Reads the end records and walks the central directory. kNotZip when the
  // source holds no ZIP archive, kUnsupported for one part of a split set,
  // kDamaged for a directory that cannot be read (or, unless tolerated,
  // disagrees with its end record).
  static Archive Open(std::shared_ptr<const Source> source, const OpenOptions& options = {});

  Archive(Archive&&) noexcept;
  Archive& operator=(Archive&&) noexcept;
  ~Archive();

  size_t Count() const;
  // Decodes entry index (kDamaged when its directory entry cannot be read
  // again; std::out_of_range past the end).
  Entry At(size_t index) const;
  EntryRange Entries() const { return EntryRange(*this); }

  // The archive comment's bytes.
  const std::string& Comment() const;
  bool IsZip64() const;
  // The bytes in front of the ZIP part that its offsets leave out.
  uint64_t OffsetShift() const;
  // The directory as the end records declare it.
  uint64_t DeclaredEntries() const;
  uint64_t DirectorySize() const;
  uint64_t DirectoryOffset() const;
  // The directory disagreed with its end record and was read as far as both
  // agree (only when tolerated).
  bool DirectoryMismatch() const;
  // The files read: 1 but for a split set.
  uint32_t PartCount() const;
  const Source& Bytes() const;
  const OpenOptions& Options() const;

  // Decodes the entry into sink, checking its sizes and CRC-32. Errors are
  // zip::Error naming the entry; what the sink throws passes as it was.
  void Extract(const Entry& entry, Sink& sink, const ReadOptions& options = {}) const;
  // Decodes and checks the entry, keeping nothing.
  void Test(const Entry& entry, const ReadOptions& options = {}) const;

  // Whether the entry's bytes overlap another entry's or the directory's
  // (the overlapping-member bomb); such an entry is refused as kUnsafe.
  // Learned for all entries at once, on the first call, by reading each
  // local header.
  bool Overlaps(const Entry& entry) const;

 private:
  friend class Reader;
  friend class EntryRange;
  struct State;
  explicit Archive(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// Reads entries for one thread, keeping a block of the archive between
// them: small entries read in order cost one read of the source per block
// rather than several each.
class Reader {
 public:
  explicit Reader(const Archive& archive);
  ~Reader();
  Reader(const Reader&) = delete;
  Reader& operator=(const Reader&) = delete;

  void Extract(const Entry& entry, Sink& sink, const ReadOptions& options = {});
  void Test(const Entry& entry, const ReadOptions& options = {});

 private:
  struct Buffers;
  void Read(const Entry& entry, Sink* sink, const ReadOptions& options);
  const Archive& archive_;
  std::unique_ptr<Buffers> buffers_;
};

}  // namespace zip
