// The catalogue keeps, per entry, only where its directory entry lies; an
// entry is decoded again whenever it is asked for, from a block of the
// directory kept by whoever walks it. Reading an entry runs the member
// decoder the installer runs, through bridges between the library's
// sources and sinks and the decoders' streams, and every failure on the way
// becomes a zip::Error of its category.
#include "zip/Archive.h"

#include <mutex>
#include <stdexcept>
#include <vector>

#include "os/os.h"
#include "zip/ReadSupport.h"
#include "zip/SplitSet.h"
#include "zip/Streams.h"
#include "zip/engine/AbBufRd.h"
#include "zip/engine/AbConst.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbMemberChain.h"
#include "zip/engine/AbUnzParallel.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"
#include "zip/engine/AbZipLayout.h"
#include "zip/engine/AbZipRecords.h"

namespace zip {

namespace {

constexpr uint32_t kFixedEntrySize = ab::TAbZipDirectoryFileHeader::kFixedSize;
// The public header cannot name the reader's records; both say the same.
static_assert(kEndRecordSize == ab::kAbZipEndRecordSize);

// One directory entry read whole, then decoded from memory: two reads of
// the source wherever it lies.
ab::TAbZipDirectoryFileHeader ReadHeaderAt(const Source& source, uint64_t offset) {
  using Header = ab::TAbZipDirectoryFileHeader;
  std::vector<uint8_t> bytes(Header::kFixedSize);
  size_t got = source.ReadAt(offset, bytes.data(), bytes.size());
  if (got == Header::kFixedSize) {
    bytes.resize(Header::RecordLength(bytes.data()));
    got += source.ReadAt(offset + got, bytes.data() + got, bytes.size() - got);
  }
  Header header;
  header.ParseFrom(bytes.data(), got);
  return header;
}

}  // namespace

struct Archive::State {
  std::shared_ptr<const Source> source;
  // The parts of a split set, which source then reads as one.
  const SplitSetSource* splitSet = nullptr;
  OpenOptions options;
  ab::TAbDirectoryBounds bounds;
  // Where each entry's directory entry begins.
  std::vector<uint64_t> entryOffsets;
  bool mismatch = false;
  mutable std::once_flag spansChecked;
  mutable std::vector<bool> overlaps;

  ab::TAbZipItemContext Context() const {
    return {options.nameCharset, bounds.offsetShift, splitSet};
  }

  // Reads the end records, of a split set's parts too when the source is the
  // last of them and its other parts can be had.
  void LocateDirectory();

  // The directory entry of index, read through stream, and its facts.
  void Decode(rtl::TStream& stream, size_t index, ab::TAbZipDirectoryFileHeader& header,
              ab::TAbEntryFacts& facts) const {
    stream.Seek(static_cast<int64_t>(entryOffsets.at(index)), rtl::soBeginning);
    header.ReadFrom(stream);
    ab::DecodeEntryFacts(header, Context(), facts);
  }

  // Walks the directory from where the end records put it, keeping where
  // each entry begins; returns where the walk ended.
  int64_t IndexDirectory(rtl::TStream& stream);
  // Marks the entries whose spans overlap another's or the directory.
  void CheckSpans() const;
};

void Archive::State::CheckSpans() const {
  SourceStream data(*source);
  SourceStream directoryStream(*source);
  ab::TAbBufferedReader directory(directoryStream);
  ab::TAbZipDirectoryFileHeader header;
  const auto placeOf = [&](size_t i) {
    directory.Seek(static_cast<int64_t>(entryOffsets[i]), rtl::soBeginning);
    header.ReadFrom(directory);
    const ab::TAbEntryFacts sizes = ab::DecodeEntrySizes(header, Context());
    return ab::TAbMemberPlace{sizes.localHeaderOffset, sizes.compressedSize,
                              sizes.uncompressedSize, header.Crc32()};
  };
  const ab::TAbByteRange records{bounds.DirectoryStart(), bounds.RecordsEnd()};
  overlaps = ab::FindOverlappingMembers(data, entryOffsets.size(), placeOf, records);
}

// Walks the directory from where the end records put it, keeping where each
// entry begins; returns where the walk ended.
int64_t Archive::State::IndexDirectory(rtl::TStream& stream) {
  const int64_t declaredEnd = bounds.DeclaredEnd();
  // As many as the records count, but never more than the bytes that are
  // there could hold: the records may say anything.
  const uint64_t there = declaredEnd > static_cast<int64_t>(bounds.directoryOffset)
                             ? static_cast<uint64_t>(declaredEnd) - bounds.directoryOffset
                             : 0;
  entryOffsets.reserve(
      static_cast<size_t>(std::min<uint64_t>(bounds.totalEntries, there / kFixedEntrySize + 1)));
  ab::TAbBufferedReader directory(stream);
  directory.Seek(static_cast<int64_t>(bounds.directoryOffset), rtl::soBeginning);
  const int64_t size = directory.Size();
  uint8_t fixed[kFixedEntrySize];
  int64_t at = directory.Position();
  while (at < declaredEnd) {
    if (directory.Read(fixed, kFixedEntrySize) != static_cast<int32_t>(kFixedEntrySize) ||
        ab::LoadLittleEndian(fixed, 4) != ab::kAbZipCentralDirectorySignature)
      throw ab::EAbZipInvalid();
    entryOffsets.push_back(static_cast<uint64_t>(at));
    at = std::min(at + static_cast<int64_t>(ab::TAbZipDirectoryFileHeader::RecordLength(fixed)),
                  size);
    directory.Seek(at, rtl::soBeginning);
  }
  return at;
}

void Archive::State::LocateDirectory() {
  SourceStream stream(*source);
  try {
    bounds = ab::LocateDirectory(stream, options.allowOffsetShift);
    return;
  } catch (const ab::EAbZipMultiPart& error) {
    if (!options.openPart) throw Error(Failure::kUnsupported, error.what(), "", Cause::kSplitPart);
  } catch (const std::exception&) {
    throw Error(Failure::kNotZip, "no ZIP directory found in it", "", Cause::kArchiveDamaged);
  }
  // The last part of a split set, or a set of one part that begins with the
  // split writers' mark: read across all its parts.
  const uint32_t lastDisk = Guarded("", [&] { return ab::SplitSetLastDisk(stream); });
  std::vector<std::shared_ptr<const Source>> parts;
  for (uint32_t disk = 0; disk < lastDisk; ++disk) {
    std::shared_ptr<const Source> part = options.openPart(disk, lastDisk);
    if (!part)
      throw Error(Failure::kIo,
                  "split archive: file " + std::to_string(disk + 1) + " of " +
                      std::to_string(lastDisk + 1) + " is missing",
                  "", Cause::kMissingPart);
    parts.push_back(std::move(part));
  }
  parts.push_back(source);
  auto set = std::make_shared<SplitSetSource>(std::move(parts));
  SourceStream whole(*set);
  try {
    bounds = ab::LocateDirectory(whole, false, set.get());
  } catch (const std::exception& error) {
    // No end record: a part other than the last, named so.
    if (lastDisk == 0)
      throw Error(Failure::kUnsupported, ab::EAbZipMultiPart().what(), "", Cause::kSplitPart);
    throw Error(Failure::kDamaged, os::AnsiToUtf8(error.what()), "", Cause::kArchiveDamaged);
  }
  splitSet = set.get();
  source = std::move(set);
}

Archive Archive::Open(std::shared_ptr<const Source> source, const OpenOptions& options) {
  auto state = std::make_unique<State>();
  state->source = std::move(source);
  state->options = options;
  if (!options.nameCharset.empty() && !os::CodePageToUtf8("", options.nameCharset))
    throw Error(Failure::kUnsupported,
                os::AnsiToUtf8(ab::EAbZipUnknownCharset(options.nameCharset).what()), "",
                Cause::kUnknownCharset);
  if (state->source->Size() < kEndRecordSize)
    throw Error(Failure::kNotZip, "too short to be a ZIP archive");
  state->LocateDirectory();
  SourceStream stream(*state->source);
  const ab::TAbDirectoryBounds& bounds = state->bounds;
  Guarded("", [&] {
    // A directory said to start behind its own end record is damaged: an
    // empty catalogue would report it as one that holds nothing.
    if (bounds.directoryOffset > static_cast<uint64_t>(bounds.directoryEnd))
      throw ab::EAbZipInvalid();
    const int64_t readEnd = state->IndexDirectory(stream);
    const uint64_t count = state->entryOffsets.size();
    switch (ab::CompareDirectory(stream, bounds, count, readEnd)) {
      case ab::TAbDirectoryAgreement::kAgrees:
        break;
      case ab::TAbDirectoryAgreement::kNoDirectoryThere:
        throw Error(Failure::kNotZip, "no ZIP directory found in it", "", Cause::kArchiveDamaged);
      case ab::TAbDirectoryAgreement::kDisagrees:
        if (!options.tolerateDirectoryMismatch) throw ab::EAbZipDirectoryMismatch();
        state->mismatch = true;
        state->entryOffsets.resize(static_cast<size_t>(ab::EntriesToKeep(bounds, count)));
        break;
    }
  });
  state->entryOffsets.shrink_to_fit();
  return Archive(std::move(state));
}

Archive::Archive(std::unique_ptr<State> state) : state_(std::move(state)) {}
Archive::Archive(Archive&&) noexcept = default;
Archive& Archive::operator=(Archive&&) noexcept = default;
Archive::~Archive() = default;

size_t Archive::Count() const {
  return state_->entryOffsets.size();
}

Entry Archive::At(size_t index) const {
  if (index >= Count()) throw std::out_of_range("zip::Archive::At");
  return Guarded("", [&] {
    const ab::TAbZipDirectoryFileHeader header =
        ReadHeaderAt(*state_->source, state_->entryOffsets[index]);
    ab::TAbEntryFacts facts;
    ab::DecodeEntryFacts(header, state_->Context(), facts);
    Entry entry;
    EntryBuilder::Build(state_.get(), index, header, facts, entry, state_->options.nameCase);
    return entry;
  });
}

const std::string& Archive::Comment() const {
  return state_->bounds.endRecord.ZipfileComment();
}
bool Archive::IsZip64() const {
  return state_->bounds.zip64EndRecord.has_value();
}
uint64_t Archive::OffsetShift() const {
  return state_->bounds.offsetShift;
}
uint64_t Archive::DeclaredEntries() const {
  return state_->bounds.totalEntries;
}
uint64_t Archive::DirectorySize() const {
  return state_->bounds.directorySize;
}
uint64_t Archive::DirectoryOffset() const {
  return state_->bounds.directoryOffset;
}
bool Archive::DirectoryMismatch() const {
  return state_->mismatch;
}
uint32_t Archive::PartCount() const {
  return state_->splitSet != nullptr ? state_->splitSet->LastDisk() + 1 : 1;
}
const Source& Archive::Bytes() const {
  return *state_->source;
}
const OpenOptions& Archive::Options() const {
  return state_->options;
}

bool Archive::Overlaps(const Entry& entry) const {
  const State& s = *state_;
  // A caller may ask before any entry is read: what the check meets is
  // reported as any failure of the library's.
  std::call_once(s.spansChecked, [&s] { Guarded("", [&s] { s.CheckSpans(); }); });
  return entry.Index() < s.overlaps.size() && s.overlaps[entry.Index()];
}

void Archive::Extract(const Entry& entry, Sink& sink, const ReadOptions& options) const {
  Reader(*this).Extract(entry, sink, options);
}

void Archive::Test(const Entry& entry, const ReadOptions& options) const {
  Reader(*this).Test(entry, options);
}

// ---- Iteration -------------------------------------------------------------------

struct EntryRange::Iterator::Cursor {
  explicit Cursor(const Source& source) : stream(source), directory(stream) {}
  SourceStream stream;
  ab::TAbBufferedReader directory;
  // Kept from one entry to the next, with their strings' storage.
  ab::TAbZipDirectoryFileHeader header;
  ab::TAbEntryFacts facts;
};

EntryRange::Iterator::Iterator(const Archive& archive, size_t index, std::shared_ptr<Cursor> cursor)
    : archive_(&archive), index_(index), cursor_(std::move(cursor)) {}

void EntryRange::Iterator::Load() {
  if (index_ >= archive_->Count()) return;
  Guarded("", [&] {
    Cursor& c = *cursor_;
    archive_->state_->Decode(c.directory, index_, c.header, c.facts);
    EntryBuilder::Build(archive_->state_.get(), index_, c.header, c.facts, entry_,
                        archive_->state_->options.nameCase);
  });
}

EntryRange::Iterator& EntryRange::Iterator::operator++() {
  ++index_;
  Load();
  return *this;
}

EntryRange::Iterator EntryRange::begin() const {
  Iterator first(archive_, 0, std::make_shared<Iterator::Cursor>(archive_.Bytes()));
  first.Load();
  return first;
}

EntryRange::Iterator EntryRange::end() const {
  return Iterator(archive_, archive_.Count(), nullptr);
}

// ---- Reading an entry --------------------------------------------------------------


struct Reader::Buffers {
  explicit Buffers(const Source& source) : direct(source), forSmall(source), small(forSmall) {}
  // Large entries are read straight from the source, their reads being
  // large already; small ones through a block kept across entries.
  SourceStream direct;
  SourceStream forSmall;
  ab::TAbBufferedReader small;
};

Reader::Reader(const Archive& archive)
    : archive_(archive), buffers_(std::make_unique<Buffers>(archive.Bytes())) {}
Reader::~Reader() = default;

void Reader::Extract(const Entry& entry, Sink& sink, const ReadOptions& options) {
  Read(entry, &sink, options);
}

void Reader::Test(const Entry& entry, const ReadOptions& options) {
  Read(entry, nullptr, options);
}

void Reader::Read(const Entry& entry, Sink* sink, const ReadOptions& options) {
  // Only the archive's own entries are read, and only by their index do they
  // reach the spans it has checked.
  if (EntryBuilder::Owner(entry) != archive_.state_.get())
    throw std::invalid_argument("zip::Reader: an entry of another archive");
  const ab::TAbEntryFacts facts = EntryBuilder::FactsOf(entry);
  rtl::TStream& input = facts.compressedSize < ab::TAbBufferedReader::kBlockSize
                            ? static_cast<rtl::TStream&>(buffers_->small)
                            : buffers_->direct;
  const EntryDecoding decoding{entry,
                               facts,
                               [this, &entry] { return archive_.Overlaps(entry); },
                               archive_.Options().acceptNewerVersions,
                               options.threads,
                               SpanMapperOf(*archive_.state_->source)};
  DecodeEntry(decoding, input, sink, options, [&entry](const ab::TAbDecodedMember& decoded, uint64_t) {
    if (!decoded.CrcMatches(entry.Crc32())) throw ab::EAbZipBadCRC();
  });
}

bool DecodesOnSeveralThreads(const Entry& entry) {
  return ab::IsParallelInflateMember(entry.Method(), entry.IsEncrypted(), entry.CompressedSize());
}

}  // namespace zip
