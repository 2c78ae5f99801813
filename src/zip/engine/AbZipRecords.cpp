#include "zip/engine/AbZipRecords.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "os/text.h"
#include "rtl/Exception.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipExtra.h"

namespace ab {

namespace {

// One little-endian field with the stream's plain read: a short read leaves
// the field as it was.
template <typename T>
void ReadField(rtl::TStream& stream, T& field) {
  uint8_t bytes[sizeof(T)];
  if (stream.Read(bytes, sizeof(T)) != static_cast<int32_t>(sizeof(T))) return;
  T value = 0;
  for (size_t i = sizeof(T); i-- > 0;) value = static_cast<T>((value << 8) | bytes[i]);
  field = value;
}

// length bytes of a variable part; those a short read misses stay zero.
void ReadPart(rtl::TStream& stream, std::string& part, uint16_t length) {
  part.assign(length, '\0');
  if (length > 0) stream.Read(part.data(), length);
}

// The same two from bytes in memory, at is moved past the field.
template <typename T>
void ParseField(const uint8_t* bytes, size_t size, size_t& at, T& field) {
  if (size - std::min(at, size) < sizeof(T)) {
    at = size;
    return;
  }
  field = static_cast<T>(LoadLittleEndian(bytes + at, sizeof(T)));
  at += sizeof(T);
}

void ParsePart(const uint8_t* bytes, size_t size, size_t& at, std::string& part,
               uint16_t length) {
  part.assign(length, '\0');
  const size_t n = std::min<size_t>(length, size - std::min(at, size));
  if (n > 0) std::memcpy(part.data(), bytes + at, n);
  at += n;
}

}  // namespace

// ---- Records -------------------------------------------------------------------

TAbZipDictionarySize DictionarySizeOf(uint8_t method, uint16_t flags) {
  if (method != 6) return dsInvalid;
  return (flags & 0x0002) != 0 ? ds8K : ds4K;
}

uint8_t ShannonFanoTreeCountOf(uint8_t method, uint16_t flags) {
  if (method != 6) return 0;
  return (flags & 0x0004) != 0 ? 3 : 2;
}

TAbZipDictionarySize TAbZipFileHeader::DictionarySize() const {
  return DictionarySizeOf(CompressionMethod(), generalPurposeBitFlag_);
}

uint8_t TAbZipFileHeader::ShannonFanoTreeCount() const {
  return ShannonFanoTreeCountOf(CompressionMethod(), generalPurposeBitFlag_);
}

void TAbZipFileHeader::ParseSignature(const uint8_t* bytes, size_t size, size_t& at) {
  ParseField(bytes, size, at, signature_);
}

void TAbZipFileHeader::ParseCommonFields(const uint8_t* bytes, size_t size, size_t& at) {
  ParseField(bytes, size, at, versionNeededToExtract_);
  ParseField(bytes, size, at, generalPurposeBitFlag_);
  ParseField(bytes, size, at, compressionMethod_);
  ParseField(bytes, size, at, lastModFileTime_);
  ParseField(bytes, size, at, lastModFileDate_);
  ParseField(bytes, size, at, crc32_);
  ParseField(bytes, size, at, compressedSize_);
  ParseField(bytes, size, at, uncompressedSize_);
  ParseField(bytes, size, at, fileNameLength_);
  ParseField(bytes, size, at, extraFieldLength_);
}

void TAbZipFileHeader::ParseNameAndExtra(const uint8_t* bytes, size_t size, size_t& at) {
  ParsePart(bytes, size, at, fileName_, fileNameLength_);
  ParsePart(bytes, size, at, extraField_, extraFieldLength_);
}

void TAbZipFileHeader::CheckSignature() const {
  if (!IsValid()) throw EAbZipInvalid();
}

void TAbZipLocalFileHeader::ReadFrom(rtl::TStream& stream) {
  uint8_t fixed[kFixedSize];
  const int32_t got = std::max(stream.Read(fixed, kFixedSize), 0);
  if (got < static_cast<int32_t>(kFixedSize)) return ParseFrom(fixed, static_cast<size_t>(got));
  std::vector<uint8_t> record(kFixedSize + LoadLittleEndian(fixed + 26, 2) +
                              LoadLittleEndian(fixed + 28, 2));
  std::memcpy(record.data(), fixed, kFixedSize);
  const int32_t rest = std::max(
      stream.Read(record.data() + kFixedSize, static_cast<int32_t>(record.size() - kFixedSize)), 0);
  ParseFrom(record.data(), kFixedSize + static_cast<size_t>(rest));
}

void TAbZipLocalFileHeader::ParseFrom(const uint8_t* bytes, size_t size) {
  size_t at = 0;
  ParseSignature(bytes, size, at);
  ParseCommonFields(bytes, size, at);
  ParseNameAndExtra(bytes, size, at);
  CheckSignature();
}

void TAbZipDirectoryFileHeader::ParseFrom(const uint8_t* bytes, size_t size) {
  size_t at = 0;
  ParseSignature(bytes, size, at);
  ParseField(bytes, size, at, versionMadeBy_);
  ParseCommonFields(bytes, size, at);
  ParseField(bytes, size, at, fileCommentLength_);
  ParseField(bytes, size, at, diskNumberStart_);
  ParseField(bytes, size, at, internalFileAttributes_);
  ParseField(bytes, size, at, externalFileAttributes_);
  ParseField(bytes, size, at, relativeOffset_);
  ParseNameAndExtra(bytes, size, at);
  ParsePart(bytes, size, at, fileComment_, fileCommentLength_);
  CheckSignature();
}

size_t TAbZipDirectoryFileHeader::RecordLength(const uint8_t* fixedPart) {
  return kFixedSize + LoadLittleEndian(fixedPart + 28, 2) + LoadLittleEndian(fixedPart + 30, 2) +
         LoadLittleEndian(fixedPart + 32, 2);
}

void TAbZipDirectoryFileHeader::ReadFrom(rtl::TStream& stream) {
  // Most records fit in a few hundred bytes, read without an allocation.
  std::array<uint8_t, 512> small;
  const int32_t got = std::max(stream.Read(small.data(), kFixedSize), 0);
  if (got < static_cast<int32_t>(kFixedSize)) return ParseFrom(small.data(), static_cast<size_t>(got));
  const size_t length = RecordLength(small.data());
  std::vector<uint8_t> large;
  uint8_t* record = small.data();
  if (length > small.size()) {
    large.resize(length);
    std::memcpy(large.data(), small.data(), kFixedSize);
    record = large.data();
  }
  const int32_t rest =
      std::max(stream.Read(record + kFixedSize, static_cast<int32_t>(length - kFixedSize)), 0);
  ParseFrom(record, kFixedSize + static_cast<size_t>(rest));
}

void TAbZipDirectoryFileFooter::ReadFrom(rtl::TStream& stream) {
  ReadField(stream, signature_);
  ReadField(stream, diskNumber_);
  ReadField(stream, startDiskNumber_);
  ReadField(stream, entriesOnDisk_);
  ReadField(stream, totalEntries_);
  ReadField(stream, directorySize_);
  ReadField(stream, directoryOffset_);
  ReadField(stream, zipfileCommentLength_);
  ReadPart(stream, zipfileComment_, zipfileCommentLength_);
  if (!IsValid()) throw EAbZipInvalid();
}

// ---- ZIP64 records and the end record ------------------------------------------

namespace {

// The fixed fields of a record whose signature has been read, or nothing
// when the stream ends inside them.
template <size_t N>
std::optional<std::array<uint8_t, N>> ReadFixed(rtl::TStream& stream) {
  std::array<uint8_t, N> bytes{};
  if (stream.Read(bytes.data(), static_cast<int32_t>(N)) != static_cast<int32_t>(N))
    return std::nullopt;
  return bytes;
}

bool ReadSignature(rtl::TStream& stream, uint32_t expected) {
  uint32_t signature = 0;
  ReadField(stream, signature);
  return signature == expected;
}

}  // namespace

std::optional<TAbZip64EndLocator> ReadZip64EndLocator(rtl::TStream& stream) {
  if (!ReadSignature(stream, kAbZip64EndLocatorSignature)) return std::nullopt;
  const auto bytes = ReadFixed<TAbZip64EndLocator::kSize - 4>(stream);
  if (!bytes) return std::nullopt;
  TAbZip64EndLocator locator;
  locator.directoryRecordDisk = static_cast<uint32_t>(LoadLittleEndian(bytes->data(), 4));
  locator.directoryRecordOffset = LoadLittleEndian(bytes->data() + 4, 8);
  locator.totalDisks = static_cast<uint32_t>(LoadLittleEndian(bytes->data() + 12, 4));
  return locator;
}

std::optional<TAbZip64EndRecord> ReadZip64EndRecord(rtl::TStream& stream) {
  if (!ReadSignature(stream, kAbZip64EndCentralDirectorySignature)) return std::nullopt;
  const auto bytes = ReadFixed<TAbZip64EndRecord::kFixedSize - 4>(stream);
  if (!bytes) return std::nullopt;
  const uint8_t* b = bytes->data();
  TAbZip64EndRecord record;
  record.recordSize = LoadLittleEndian(b, 8);
  record.versionMadeBy = static_cast<uint16_t>(LoadLittleEndian(b + 8, 2));
  record.versionNeededToExtract = static_cast<uint16_t>(LoadLittleEndian(b + 10, 2));
  record.diskNumber = static_cast<uint32_t>(LoadLittleEndian(b + 12, 4));
  record.startDiskNumber = static_cast<uint32_t>(LoadLittleEndian(b + 16, 4));
  record.entriesOnDisk = LoadLittleEndian(b + 20, 8);
  record.totalEntries = LoadLittleEndian(b + 28, 8);
  record.directorySize = LoadLittleEndian(b + 36, 8);
  record.directoryOffset = LoadLittleEndian(b + 44, 8);
  return record;
}

namespace {

constexpr int32_t kEndRecordSize = kAbZipEndRecordSize;
constexpr uint8_t kEndSignatureBytes[4] = {'P', 'K', 5, 6};

bool HoldsEndSignature(const uint8_t* bytes) {
  return std::memcmp(bytes, kEndSignatureBytes, 4) == 0;
}

uint16_t CommentLengthOf(const uint8_t* record) {
  return static_cast<uint16_t>(record[20] | (record[21] << 8));
}

}  // namespace

int64_t FindEndRecord(rtl::TStream& stream) {
  const int64_t size = stream.Size();
  // Windows grow to the largest comment an end record can carry, or the
  // whole of a smaller file.
  int64_t cap = 65536;
  if (size > 0 && size < cap) cap = size;
  const int64_t start = stream.Position();

  // The usual case: an end record without a comment closes the file.
  if (size < kEndRecordSize) throw rtl::EReadError();
  uint8_t tail[kEndRecordSize];
  const int64_t quick = stream.Seek(-kEndRecordSize, rtl::soEnd);
  stream.ReadBuffer(tail, kEndRecordSize);
  if (HoldsEndSignature(tail) && CommentLengthOf(tail) == 0) {
    stream.Seek(quick, rtl::soBeginning);
    return quick;
  }

  // Windows growing up to the cap walk back to the start of the file; each
  // ends 22 bytes into the one after it, so no start position is skipped.
  // Every candidate in a window is tried, last first: a comment may hold the
  // signature bytes in front of too short a tail, and the true record may
  // stand in the same window before it.
  std::vector<uint8_t> window;
  int64_t w = 512;
  int64_t d = 512;
  for (;;) {
    int64_t at = size - d;
    const bool last = at <= 0;
    if (last) at = 0;
    stream.Seek(at, rtl::soBeginning);
    window.resize(static_cast<size_t>(w));
    const int32_t n = stream.Read(window.data(), static_cast<int32_t>(w));
    for (int32_t p = n - kEndRecordSize; p >= 0; --p) {
      const uint8_t* candidate = window.data() + p;
      if (!HoldsEndSignature(candidate)) continue;
      const int64_t position = at + p;
      if (size - (position + kEndRecordSize) >= CommentLengthOf(candidate)) {
        stream.Seek(position, rtl::soBeginning);
        return position;
      }
    }
    if (last) break;
    if (w < cap) w = std::min(w * 2, cap);
    d += w - kEndRecordSize;
  }
  stream.Seek(start, rtl::soBeginning);
  return -1;
}

// ---- Entry facts ---------------------------------------------------------------

namespace {

constexpr uint16_t kUnixTypeMask = 0xF000;
constexpr uint16_t kUnixFolder = 0x4000;
constexpr uint16_t kUnixLink = 0xA000;
constexpr uint8_t kDosFolder = 0x10;

bool IsUnixLike(uint8_t host) {
  return host == hsUnix || host == hsMacOsX;
}

bool KeepsDosAttributes(uint8_t host) {
  return host == hsMsDos || host == hsOs2Hpfs || host == hsNtfs || host == hsVfat ||
         IsUnixLike(host);
}

std::string_view UpToZero(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

}  // namespace

namespace {

uint8_t HostOf(const TAbZipDirectoryFileHeader& header) {
  return static_cast<uint8_t>(header.VersionMadeBy() >> 8);
}

void DecodeName(const TAbZipDirectoryFileHeader& header, const TAbExtraBlocks& extra,
                const std::string& nameCharset, TAbEntryFacts& facts) {
  const std::string& stored = header.FileName();
  const std::string_view bytes = UpToZero(stored);
  const bool validUtf8 = os::text::IsValidUtf8(bytes);
  std::optional<std::string> unicodePath;
  if (!header.IsUtf8()) {
    if (const auto block = extra.Find(kAbUnicodePathId))
      unicodePath = ReadUnicodePathBlock(*block, stored);
  }
  std::string& name = facts.unicodeName;
  if (header.IsUtf8() && validUtf8) {
    name.assign(bytes);
    facts.nameOrigin = noUtf8Flag;
  } else if (unicodePath) {
    name.assign(UpToZero(*unicodePath));
    facts.nameOrigin = noUnicodePathField;
  } else if (!header.IsUtf8() && IsUnixLike(HostOf(header)) && validUtf8) {
    name.assign(bytes);
    facts.nameOrigin = noUnixUtf8;
  } else {
    // The charset was checked when it was set; the OEM page is the fallback.
    name = os::CodePageToUtf8(bytes, nameCharset).value_or(os::text::Cp437ToUtf8(bytes));
    facts.nameOrigin = noCodePage;
  }
  // MS-DOS names may use `\` between folders; elsewhere it is a character of
  // the name, and a name that already uses `/` says which one separates.
  if (HostOf(header) == hsMsDos && name.find('/') == std::string::npos) {
    for (char& c : name) {
      if (c == '\\') c = '/';
    }
  }
}

void DecodeSizes(const TAbZipDirectoryFileHeader& h, const TAbExtraBlocks& extra,
                 const TAbZipItemContext& context, TAbEntryFacts& facts) {
  TAbZip64Needs needs;
  needs.uncompressedSize = h.UncompressedSize() == 0xFFFFFFFF;
  needs.compressedSize = h.CompressedSize() == 0xFFFFFFFF;
  needs.localHeaderOffset = h.RelativeOffset() == 0xFFFFFFFF;
  needs.diskNumberStart = h.DiskNumberStart() == 0xFFFF;
  TAbZip64Values values;
  if (const auto block = extra.Find(kAbZip64ExtraId)) values = ReadZip64Block(*block, needs);
  facts.uncompressedSize = values.uncompressedSize.value_or(h.UncompressedSize());
  facts.compressedSize = values.compressedSize.value_or(h.CompressedSize());
  facts.diskNumberStart = values.diskNumberStart.value_or(h.DiskNumberStart());
  const uint64_t offset = values.localHeaderOffset.value_or(h.RelativeOffset());
  facts.localHeaderOffset =
      context.disks != nullptr
          ? context.disks->PositionOf(facts.diskNumberStart, offset).value_or(UINT64_MAX)
          : offset + context.offsetShift;
  // A saturated size or offset without its 64-bit value cannot be read.
  if ((needs.uncompressedSize && !values.uncompressedSize) ||
      (needs.compressedSize && !values.compressedSize) ||
      (needs.localHeaderOffset && !values.localHeaderOffset))
    facts.extraFieldDamaged = true;
}

void DecodeTimes(const TAbExtraBlocks& extra, TAbEntryFacts& facts) {
  TAbZipTimes ntfs;
  TAbZipTimes unix;
  if (const auto block = extra.Find(kAbNtfsExtraId)) ntfs = ReadNtfsBlock(*block);
  if (const auto block = extra.Find(kAbExtendedTimestampId))
    unix = ReadExtendedTimestampBlock(*block);
  // Where both fields give a time, the extended timestamp wins, as with
  // Info-ZIP UnZip.
  facts.modified = unix.modified ? unix.modified : ntfs.modified;
  facts.accessed = unix.accessed ? unix.accessed : ntfs.accessed;
}

}  // namespace

void DecodeEntryFacts(const TAbZipDirectoryFileHeader& header, const TAbZipItemContext& context,
                      TAbEntryFacts& facts) {
  const TAbExtraBlocks extra = SplitExtraField(header.ExtraField());
  facts.extraFieldDamaged = extra.DamageMatters();
  facts.extraFieldPartLost = extra.damaged && !facts.extraFieldDamaged;
  facts.winZipAesField = extra.Find(kAbWinZipAesId).has_value();
  DecodeName(header, extra, context.nameCharset, facts);
  DecodeSizes(header, extra, context, facts);
  DecodeTimes(extra, facts);
}

TAbEntryFacts DecodeEntrySizes(const TAbZipDirectoryFileHeader& header,
                               const TAbZipItemContext& context) {
  TAbEntryFacts facts;
  // Only a saturated field sends the reader to the ZIP64 block.
  const bool saturated = header.UncompressedSize() == 0xFFFFFFFF ||
                         header.CompressedSize() == 0xFFFFFFFF ||
                         header.RelativeOffset() == 0xFFFFFFFF ||
                         header.DiskNumberStart() == 0xFFFF;
  DecodeSizes(header, saturated ? SplitExtraField(header.ExtraField()) : TAbExtraBlocks{}, context,
              facts);
  return facts;
}

uint16_t UnixModeOf(const TAbZipDirectoryFileHeader& header) {
  if (!IsUnixLike(HostOf(header))) return 0;
  return static_cast<uint16_t>(header.ExternalFileAttributes() >> 16);
}

uint8_t DosAttributesOf(const TAbZipDirectoryFileHeader& header) {
  if (!KeepsDosAttributes(HostOf(header))) return 0;
  return static_cast<uint8_t>(header.ExternalFileAttributes());
}

bool IsFolderEntry(const TAbZipDirectoryFileHeader& header, const std::string& unicodeName) {
  return (!unicodeName.empty() && unicodeName.back() == '/') ||
         (DosAttributesOf(header) & kDosFolder) != 0 ||
         (UnixModeOf(header) & kUnixTypeMask) == kUnixFolder;
}

bool IsLinkEntry(const TAbZipDirectoryFileHeader& header, const std::string& unicodeName) {
  return (UnixModeOf(header) & kUnixTypeMask) == kUnixLink && !IsFolderEntry(header, unicodeName);
}

// ---- The directory's bounds ----------------------------------------------------

namespace {

bool HoldsSignatureAt(rtl::TStream& stream, uint64_t position, uint32_t signature) {
  if (position > static_cast<uint64_t>(INT64_MAX)) return false;
  if (stream.Seek(static_cast<int64_t>(position), rtl::soBeginning) !=
      static_cast<int64_t>(position))
    return false;
  return ReadSignature(stream, signature);
}

bool LooksLikeLastPart(rtl::TStream& stream, const TAbZipDirectoryFileFooter& r,
                       int64_t endPosition) {
  if (r.StartDiskNumber() > r.DiskNumber() || r.TotalEntries() == 0 ||
      r.EntriesOnDisk() > r.TotalEntries())
    return false;
  // The directory lies wholly in this part, just in front of the record, or
  // it began in an earlier part and fills this one up to the record; split
  // writers begin each part with a whole record, so this one begins with an
  // entry. (A program's code holds the signature with any numbers behind it.)
  if (r.StartDiskNumber() < r.DiskNumber())
    return r.DirectorySize() >= endPosition &&
           HoldsSignatureAt(stream, 0, kAbZipCentralDirectorySignature);
  return uint64_t{r.DirectoryOffset()} + r.DirectorySize() == static_cast<uint64_t>(endPosition) &&
         HoldsSignatureAt(stream, r.DirectoryOffset(), kAbZipCentralDirectorySignature);
}

// Whether the end record needs the ZIP64 record (a field saturated) or
// agrees with it: only then is it the archive's and not a chance match.
bool EndRecordTakesZip64(const TAbZipDirectoryFileFooter& r, const TAbZip64EndRecord& record) {
  const bool needs = r.DiskNumber() == 0xFFFF || r.StartDiskNumber() == 0xFFFF ||
                     r.EntriesOnDisk() == 0xFFFF || r.TotalEntries() == 0xFFFF ||
                     r.DirectorySize() == 0xFFFFFFFF || r.DirectoryOffset() == 0xFFFFFFFF;
  const bool agrees = record.totalEntries == r.TotalEntries() &&
                      record.directorySize == r.DirectorySize() &&
                      record.directoryOffset == r.DirectoryOffset();
  return needs || agrees;
}

// The ZIP64 records, when the locator stands in front of the end record. A
// record not where the locator says may be shifted like the rest.
// Where offset on disk lies in what is read: unchanged for one file,
// UINT64_MAX outside a split set.
uint64_t PositionOf(const TAbDiskMap* disks, uint32_t disk, uint64_t offset) {
  if (disks == nullptr) return offset;
  return disks->PositionOf(disk, offset).value_or(UINT64_MAX);
}

void ReadZip64Records(rtl::TStream& stream, bool allowOffsetShift, const TAbDiskMap* disks,
                      TAbDirectoryBounds& bounds) {
  const int64_t locatorPosition = bounds.endRecordPosition - TAbZip64EndLocator::kSize;
  if (locatorPosition < 0) return;
  stream.Seek(locatorPosition, rtl::soBeginning);
  const std::optional<TAbZip64EndLocator> locator = ReadZip64EndLocator(stream);
  if (!locator) return;
  int64_t recordPosition = -1;
  const uint64_t recordAt =
      PositionOf(disks, locator->directoryRecordDisk, locator->directoryRecordOffset);
  if (recordAt < static_cast<uint64_t>(locatorPosition) &&
      HoldsSignatureAt(stream, recordAt, kAbZip64EndCentralDirectorySignature)) {
    recordPosition = static_cast<int64_t>(recordAt);
  } else if (allowOffsetShift && disks == nullptr &&
             locatorPosition >= TAbZip64EndRecord::kFixedSize &&
             HoldsSignatureAt(stream, locatorPosition - TAbZip64EndRecord::kFixedSize,
                              kAbZip64EndCentralDirectorySignature)) {
    recordPosition = locatorPosition - TAbZip64EndRecord::kFixedSize;
  }
  std::optional<TAbZip64EndRecord>& record = bounds.zip64EndRecord;
  if (recordPosition >= 0) {
    stream.Seek(recordPosition, rtl::soBeginning);
    record = ReadZip64EndRecord(stream);
  }
  // A locator without its record, or with one the end record neither
  // needs nor agrees with, may be a chance match in the last directory
  // entry's name: the end record's own values are then the ones to use.
  if (record && !EndRecordTakesZip64(bounds.endRecord, *record)) record.reset();
  const bool splitLocator = locator->totalDisks > 1 || locator->directoryRecordDisk != 0;
  if (splitLocator && disks == nullptr && (record || bounds.endRecord.DiskNumber() != 0))
    throw EAbZipMultiPart();
  if (!record) return;
  // The record names the disk it stands on, the last, and the one the
  // directory starts on, which cannot come after it.
  const uint32_t lastDisk = disks != nullptr ? disks->LastDisk() : 0;
  if (record->diskNumber != lastDisk || record->startDiskNumber > record->diskNumber) {
    if (disks != nullptr) throw EAbZipInvalid();
    throw EAbZipMultiPart();
  }
  bounds.currentPart = static_cast<uint16_t>(record->diskNumber);
  bounds.directoryEnd = recordPosition;
  bounds.directoryOffset = PositionOf(disks, record->startDiskNumber, record->directoryOffset);
  bounds.directorySize = record->directorySize;
  bounds.totalEntries = record->totalEntries;
}

// Offsets that count from the start of the ZIP part rather than of the
// file: the directory ends where the end records begin, so it starts its
// size before them, a constant distance behind where it says.
void FindOffsetShift(rtl::TStream& stream, TAbDirectoryBounds& bounds) {
  const auto end = static_cast<uint64_t>(bounds.directoryEnd);
  const uint64_t size = bounds.directorySize;
  const bool inPlace =
      size == 0 ? bounds.directoryOffset == end
                : HoldsSignatureAt(stream, bounds.directoryOffset, kAbZipCentralDirectorySignature);
  if (inPlace || size > end) return;
  const uint64_t expected = end - size;
  if (expected <= bounds.directoryOffset) return;
  if (size != 0 && !HoldsSignatureAt(stream, expected, kAbZipCentralDirectorySignature)) return;
  bounds.offsetShift = expected - bounds.directoryOffset;
  bounds.directoryOffset = expected;
}

}  // namespace

int64_t TAbDirectoryBounds::DeclaredEnd() const {
  const uint64_t found = static_cast<uint64_t>(directoryEnd) - directoryOffset;
  // Without ZIP64 records a directory of 4 GiB or more can only state its
  // size modulo 2^32, as writers before ZIP64 did.
  if (!zip64EndRecord && found > 0xFFFFFFFF && (found & 0xFFFFFFFF) == directorySize)
    return directoryEnd;
  if (directorySize >= found) return directoryEnd;
  return static_cast<int64_t>(directoryOffset + directorySize);
}

uint64_t TAbDirectoryBounds::RecordsEnd() const {
  return static_cast<uint64_t>(endRecordPosition) + kEndRecordSize +
         endRecord.ZipfileCommentLength();
}

TAbDirectoryBounds LocateDirectory(rtl::TStream& stream, bool allowOffsetShift,
                                   const TAbDiskMap* disks) {
  TAbDirectoryBounds bounds;
  stream.Seek(0, rtl::soBeginning);
  uint32_t first = 0;
  ReadField(stream, first);
  // Only single files are read, unless the parts of a split set are given:
  // the first part of a multi-part set, a file without an end record and a
  // record on another disk are all refused. "PK00" is the mark of a split
  // that needed one part only: a whole archive, read as any other (the end
  // record still says if it is not).
  if (first == kAbZipSpannedSetSignature && disks == nullptr) throw EAbZipMultiPart();
  const int64_t endPosition = FindEndRecord(stream);
  if (endPosition < 0) throw EAbZipInvalid();
  bounds.endRecord.ReadFrom(stream);
  const TAbZipDirectoryFileFooter& r = bounds.endRecord;
  bounds.currentPart = r.DiskNumber();
  bounds.endRecordPosition = endPosition;
  bounds.directoryEnd = endPosition;
  bounds.directoryOffset = PositionOf(disks, r.StartDiskNumber(), r.DirectoryOffset());
  bounds.directorySize = r.DirectorySize();
  bounds.totalEntries = r.TotalEntries();
  ReadZip64Records(stream, allowOffsetShift, disks, bounds);
  // The parts of a split set are files of the writer's own: nothing shifted.
  if (disks != nullptr) return bounds;
  if (bounds.currentPart != 0) {
    // Only a record that reads like a real part's is named as one: the
    // program's own executable without its payload may hold the signature
    // in its code, followed by bytes that mean nothing.
    if (!bounds.zip64EndRecord && !LooksLikeLastPart(stream, r, endPosition)) throw EAbZipInvalid();
    throw EAbZipMultiPart();
  }
  if (allowOffsetShift) FindOffsetShift(stream, bounds);
  return bounds;
}

uint32_t SplitSetLastDisk(rtl::TStream& stream) {
  const int64_t endPosition = FindEndRecord(stream);
  if (endPosition < 0) return 0;
  TAbZipDirectoryFileFooter r;
  r.ReadFrom(stream);
  // A set too large for the end record's fields counts its disks in the
  // ZIP64 locator; the end record then names the same last disk or leaves
  // the field to the ZIP64 record.
  const int64_t locatorPosition = endPosition - TAbZip64EndLocator::kSize;
  if (locatorPosition >= 0) {
    stream.Seek(locatorPosition, rtl::soBeginning);
    const auto locator = ReadZip64EndLocator(stream);
    if (locator && locator->totalDisks > 1 &&
        (r.DiskNumber() == 0xFFFF || r.DiskNumber() == locator->totalDisks - 1))
      return locator->totalDisks - 1;
  }
  if (r.DiskNumber() == 0 || r.DiskNumber() == 0xFFFF) return 0;
  return LooksLikeLastPart(stream, r, endPosition) ? r.DiskNumber() : 0;
}

namespace {

// Whether count entries are the ones the records count: without ZIP64
// records, a directory of 65,536 entries or more can only state its count
// modulo 2^16.
bool CountAgrees(const TAbDirectoryBounds& bounds, uint64_t count) {
  return count == bounds.totalEntries ||
         (!bounds.zip64EndRecord && count > 0xFFFF && (count & 0xFFFF) == bounds.totalEntries);
}

}  // namespace

TAbDirectoryAgreement CompareDirectory(rtl::TStream& stream, const TAbDirectoryBounds& bounds,
                                       uint64_t count, int64_t readEnd) {
  const bool countAgrees = CountAgrees(bounds, count);
  // The entries fill the declared size exactly, and nothing but the end
  // records follows them.
  const int64_t declaredEnd = bounds.DeclaredEnd();
  const bool sizeAgrees = readEnd == declaredEnd && declaredEnd == bounds.directoryEnd;
  if (countAgrees && sizeAgrees) return TAbDirectoryAgreement::kAgrees;
  // No directory entry where the records put one: the record was a chance
  // match (a program's own bytes, say), not a damaged archive.
  if (bounds.directoryEnd > static_cast<int64_t>(bounds.directoryOffset) &&
      !HoldsSignatureAt(stream, bounds.directoryOffset, kAbZipCentralDirectorySignature))
    return TAbDirectoryAgreement::kNoDirectoryThere;
  return TAbDirectoryAgreement::kDisagrees;
}

uint64_t EntriesToKeep(const TAbDirectoryBounds& bounds, uint64_t count) {
  return !CountAgrees(bounds, count) && count > bounds.totalEntries ? bounds.totalEntries : count;
}

}  // namespace ab
