#include "archive/AbZipTyp.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "archive/AbBufRd.h"
#include "archive/AbSpanSt.h"
#include "archive/AbUtils.h"
#include "archive/AbZipLayout.h"
#include "os/text.h"

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

}  // namespace

// ---- Records -------------------------------------------------------------------

TAbZipDictionarySize TAbZipFileHeader::DictionarySize() const {
  if (CompressionMethod() != 6) return dsInvalid;
  return (generalPurposeBitFlag_ & 0x0002) != 0 ? ds8K : ds4K;
}

uint8_t TAbZipFileHeader::ShannonFanoTreeCount() const {
  if (CompressionMethod() != 6) return 0;
  return (generalPurposeBitFlag_ & 0x0004) != 0 ? 3 : 2;
}

void TAbZipFileHeader::ReadSignature(rtl::TStream& stream) {
  ReadField(stream, signature_);
}

void TAbZipFileHeader::ReadCommonFields(rtl::TStream& stream) {
  ReadField(stream, versionNeededToExtract_);
  ReadField(stream, generalPurposeBitFlag_);
  ReadField(stream, compressionMethod_);
  ReadField(stream, lastModFileTime_);
  ReadField(stream, lastModFileDate_);
  ReadField(stream, crc32_);
  ReadField(stream, compressedSize_);
  ReadField(stream, uncompressedSize_);
  ReadField(stream, fileNameLength_);
  ReadField(stream, extraFieldLength_);
}

void TAbZipFileHeader::ReadNameAndExtra(rtl::TStream& stream) {
  ReadPart(stream, fileName_, fileNameLength_);
  ReadPart(stream, extraField_, extraFieldLength_);
}

void TAbZipFileHeader::CheckSignature() const {
  if (!IsValid()) throw EAbZipInvalid();
}

void TAbZipLocalFileHeader::ReadFrom(rtl::TStream& stream) {
  ReadSignature(stream);
  ReadCommonFields(stream);
  ReadNameAndExtra(stream);
  CheckSignature();
}

void TAbZipDirectoryFileHeader::ReadFrom(rtl::TStream& stream) {
  ReadSignature(stream);
  ReadField(stream, versionMadeBy_);
  ReadCommonFields(stream);
  ReadField(stream, fileCommentLength_);
  ReadField(stream, diskNumberStart_);
  ReadField(stream, internalFileAttributes_);
  ReadField(stream, externalFileAttributes_);
  ReadField(stream, relativeOffset_);
  ReadNameAndExtra(stream);
  ReadPart(stream, fileComment_, fileCommentLength_);
  CheckSignature();
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

constexpr int32_t kEndRecordSize = 22;
constexpr uint8_t kEndSignatureBytes[4] = {'P', 'K', 5, 6};

bool HoldsEndSignature(const uint8_t* bytes) {
  return std::memcmp(bytes, kEndSignatureBytes, 4) == 0;
}

uint16_t CommentLengthOf(const uint8_t* record) {
  return static_cast<uint16_t>(record[20] | (record[21] << 8));
}

}  // namespace

int64_t FindEndRecord(rtl::TStream& stream) {
  auto* span = dynamic_cast<TAbSpanStream*>(&stream);
  const int64_t size = stream.Size();
  int64_t cap = 65536;
  if (span != nullptr && size > 0 && size < cap) cap = size;
  const bool oldPlainMode = span != nullptr && span->PlainMode();
  if (span != nullptr) span->SetPlainMode(true);
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
  if (span != nullptr) span->SetPlainMode(oldPlainMode);
  return -1;
}

// ---- Item ----------------------------------------------------------------------

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

void TAbZipItem::LoadFromStream(rtl::TStream& stream, const TAbZipItemContext& context) {
  centralHeader_.ReadFrom(stream);
  const std::string& stored = centralHeader_.FileName();
  const std::string raw = stored.substr(0, stored.find('\0'));
  // Flag bit 11 marks UTF-8; other names are in the OEM code page of the
  // system that made the archive.
  if (centralHeader_.IsUtf8()) {
    SetItemName(os::Utf8ToAnsi(raw));
  } else if (os::AreFileApisAnsi()) {
    SetItemName(os::OemToChar(raw));
  } else {
    SetItemName(raw);
  }
  SetPendingAction(paNone);
  SetTagged(false);
  DecodeFacts(context);
}

void TAbZipItem::DecodeFacts(const TAbZipItemContext& context) {
  const TAbExtraBlocks extra = SplitExtraField(centralHeader_.ExtraField());
  extraFieldDamaged_ = extra.DamageMatters();
  extraFieldPartLost_ = extra.damaged && !extraFieldDamaged_;
  DecodeName(extra, context.nameCharset);
  DecodeSizes(extra, context);
  DecodeTimes(extra);
}

void TAbZipItem::DecodeName(const TAbExtraBlocks& extra, const std::string& nameCharset) {
  const std::string& stored = centralHeader_.FileName();
  const std::string_view bytes = UpToZero(stored);
  const bool validUtf8 = os::text::IsValidUtf8(bytes);
  std::optional<std::string> unicodePath;
  if (!centralHeader_.IsUtf8()) {
    if (const auto block = extra.Find(kAbUnicodePathId))
      unicodePath = ReadUnicodePathBlock(*block, stored);
  }
  if (centralHeader_.IsUtf8() && validUtf8) {
    unicodeName_ = std::string(bytes);
    nameOrigin_ = noUtf8Flag;
  } else if (unicodePath) {
    unicodeName_ = std::string(UpToZero(*unicodePath));
    nameOrigin_ = noUnicodePathField;
  } else if (!centralHeader_.IsUtf8() && IsUnixLike(HostSystem()) && validUtf8) {
    unicodeName_ = std::string(bytes);
    nameOrigin_ = noUnixUtf8;
  } else {
    // The charset was checked when it was set; the OEM page is the fallback.
    unicodeName_ = os::CodePageToUtf8(bytes, nameCharset).value_or(os::text::Cp437ToUtf8(bytes));
    nameOrigin_ = noCodePage;
  }
  // MS-DOS names may use `\` between folders; elsewhere it is a character of
  // the name, and a name that already uses `/` says which one separates.
  if (HostSystem() == hsMsDos && unicodeName_.find('/') == std::string::npos) {
    for (char& c : unicodeName_) {
      if (c == '\\') c = '/';
    }
  }
}

void TAbZipItem::DecodeSizes(const TAbExtraBlocks& extra, const TAbZipItemContext& context) {
  const TAbZipDirectoryFileHeader& h = centralHeader_;
  TAbZip64Needs needs;
  needs.uncompressedSize = h.UncompressedSize() == 0xFFFFFFFF;
  needs.compressedSize = h.CompressedSize() == 0xFFFFFFFF;
  needs.localHeaderOffset = h.RelativeOffset() == 0xFFFFFFFF;
  needs.diskNumberStart = h.DiskNumberStart() == 0xFFFF;
  TAbZip64Values values;
  if (const auto block = extra.Find(kAbZip64ExtraId)) values = ReadZip64Block(*block, needs);
  uncompressedSize64_ = values.uncompressedSize.value_or(h.UncompressedSize());
  compressedSize64_ = values.compressedSize.value_or(h.CompressedSize());
  diskNumberStart32_ = values.diskNumberStart.value_or(h.DiskNumberStart());
  const uint64_t offset = values.localHeaderOffset.value_or(h.RelativeOffset());
  if (context.splitSet != nullptr) {
    localHeaderOffset64_ =
        context.splitSet->PositionOf(diskNumberStart32_, offset).value_or(UINT64_MAX);
  } else {
    localHeaderOffset64_ = offset + context.offsetShift;
  }
  // A saturated size or offset without its 64-bit value cannot be read.
  if ((needs.uncompressedSize && !values.uncompressedSize) ||
      (needs.compressedSize && !values.compressedSize) ||
      (needs.localHeaderOffset && !values.localHeaderOffset))
    extraFieldDamaged_ = true;
}

void TAbZipItem::DecodeTimes(const TAbExtraBlocks& extra) {
  TAbZipTimes ntfs;
  TAbZipTimes unix;
  if (const auto block = extra.Find(kAbNtfsExtraId)) ntfs = ReadNtfsBlock(*block);
  if (const auto block = extra.Find(kAbExtendedTimestampId))
    unix = ReadExtendedTimestampBlock(*block);
  // Where both fields give a time, the extended timestamp wins, as with
  // Info-ZIP UnZip.
  modifiedTime_ = unix.modified ? unix.modified : ntfs.modified;
  accessedTime_ = unix.accessed ? unix.accessed : ntfs.accessed;
}

uint16_t TAbZipItem::UnixMode() const {
  if (!IsUnixLike(HostSystem())) return 0;
  return static_cast<uint16_t>(centralHeader_.ExternalFileAttributes() >> 16);
}

uint8_t TAbZipItem::DosAttributes() const {
  if (!KeepsDosAttributes(HostSystem())) return 0;
  return static_cast<uint8_t>(centralHeader_.ExternalFileAttributes());
}

bool TAbZipItem::IsFolder() const {
  return (!unicodeName_.empty() && unicodeName_.back() == '/') ||
         (DosAttributes() & kDosFolder) != 0 || (UnixMode() & kUnixTypeMask) == kUnixFolder;
}

bool TAbZipItem::IsSymbolicLink() const {
  return (UnixMode() & kUnixTypeMask) == kUnixLink && !IsFolder();
}

std::string TAbZipItem::ExtraField() const {
  const std::string& extra = centralHeader_.ExtraField();
  return extra.substr(0, extra.find('\0'));
}

// ---- Archive -------------------------------------------------------------------

TAbZipArchive::TAbZipArchive(const std::string& fileName, uint16_t mode)
    : TAbArchive(fileName, mode) {}

TAbZipArchive::TAbZipArchive(std::unique_ptr<rtl::TStream> stream, const std::string& fileName)
    : TAbArchive(std::move(stream), fileName) {}

void TAbZipArchive::SetNameCharset(const std::string& charset) {
  if (!os::CodePageToUtf8("", charset)) throw EAbZipUnknownCharset(charset);
  nameCharset_ = charset;
  const TAbZipItemContext context = ItemContext();
  for (int32_t i = 0; i < ItemCount(); ++i) Item(i).DecodeFacts(context);
}

bool TAbZipArchive::HoldsSignatureAt(uint64_t position, uint32_t signature) {
  rtl::TStream& stream = Stream();
  if (position > static_cast<uint64_t>(INT64_MAX)) return false;
  if (stream.Seek(static_cast<int64_t>(position), rtl::soBeginning) !=
      static_cast<int64_t>(position))
    return false;
  return ReadSignature(stream, signature);
}

uint64_t TAbZipArchive::PositionOf(uint32_t disk, uint64_t offset) const {
  if (splitSet_ == nullptr) return offset;
  return splitSet_->PositionOf(disk, offset).value_or(UINT64_MAX);
}

uint32_t TAbZipArchive::SplitSetLastDisk(int64_t endPosition) {
  const TAbZipDirectoryFileFooter& r = *endRecord_;
  // A set too large for the end record's fields counts its disks in the
  // ZIP64 locator; the end record then names the same last disk or leaves
  // the field to the ZIP64 record.
  const int64_t locatorPosition = endPosition - TAbZip64EndLocator::kSize;
  if (locatorPosition >= 0) {
    Stream().Seek(locatorPosition, rtl::soBeginning);
    const auto locator = ReadZip64EndLocator(Stream());
    if (locator && locator->totalDisks > 1 &&
        (r.DiskNumber() == 0xFFFF || r.DiskNumber() == locator->totalDisks - 1))
      return locator->totalDisks - 1;
  }
  if (r.DiskNumber() == 0 || r.DiskNumber() == 0xFFFF) return 0;
  return LooksLikeLastPart(endPosition) ? r.DiskNumber() : 0;
}

std::vector<std::unique_ptr<rtl::TStream>> TAbZipArchive::OpenPartsBefore(uint32_t lastDisk) {
  std::vector<std::unique_ptr<rtl::TStream>> parts;
  for (uint32_t disk = 0; disk < lastDisk; ++disk) {
    const std::string name = SplitPartName(FileName(), disk, lastDisk);
    std::unique_ptr<rtl::TStream> part;
    if (PartOpener) {
      part = PartOpener(disk, lastDisk);
    } else {
      try {
        part = std::make_unique<rtl::TFileStream>(name, rtl::fmOpenRead | rtl::fmShareDenyNone);
      } catch (const rtl::EFOpenError&) {
      }
    }
    if (!part) throw EAbZipMissingPart(disk, lastDisk + 1, name);
    parts.push_back(std::move(part));
  }
  return parts;
}

void TAbZipArchive::OpenSplitSet(uint32_t lastDisk) {
  std::vector<std::unique_ptr<rtl::TStream>> parts;
  try {
    parts = OpenPartsBefore(lastDisk);
  } catch (...) {
    SetState(stInvalid);
    throw;
  }
  parts.push_back(ExchangeStream(nullptr));
  auto set = std::make_unique<TAbSplitSetStream>(std::move(parts));
  splitSet_ = set.get();
  ExchangeStream(std::move(set));
}

std::unique_ptr<rtl::TStream> TAbZipArchive::ReadingOver(std::unique_ptr<rtl::TStream> lastPart) {
  if (splitSet_ == nullptr) return lastPart;
  std::vector<std::unique_ptr<rtl::TStream>> parts = OpenPartsBefore(splitSet_->PartCount() - 1);
  parts.push_back(std::move(lastPart));
  return std::make_unique<TAbSplitSetStream>(std::move(parts));
}

bool TAbZipArchive::LooksLikeLastPart(int64_t endPosition) {
  const TAbZipDirectoryFileFooter& r = *endRecord_;
  if (r.StartDiskNumber() > r.DiskNumber() || r.TotalEntries() == 0 ||
      r.EntriesOnDisk() > r.TotalEntries())
    return false;
  // The directory lies wholly in this part, just in front of the record, or
  // it began in an earlier part and fills this one up to the record; split
  // writers begin each part with a whole record, so this one begins with an
  // entry. (A program's code holds the signature with any numbers behind it.)
  if (r.StartDiskNumber() < r.DiskNumber())
    return r.DirectorySize() >= endPosition && HoldsSignatureAt(0, kAbZipCentralDirectorySignature);
  return uint64_t{r.DirectoryOffset()} + r.DirectorySize() == static_cast<uint64_t>(endPosition) &&
         HoldsSignatureAt(r.DirectoryOffset(), kAbZipCentralDirectorySignature);
}

void TAbZipArchive::ReadDirectoryBounds(int64_t endPosition) {
  rtl::TStream& stream = Stream();
  endRecordPosition_ = endPosition;
  directoryEnd_ = endPosition;
  directoryOffset64_ = PositionOf(endRecord_->StartDiskNumber(), endRecord_->DirectoryOffset());
  directorySize64_ = endRecord_->DirectorySize();
  totalEntries64_ = endRecord_->TotalEntries();

  // The ZIP64 records, when the locator stands in front of the end record.
  // A record not where the locator says may be shifted like the rest.
  std::optional<TAbZip64EndLocator> locator;
  const int64_t locatorPosition = endPosition - TAbZip64EndLocator::kSize;
  if (locatorPosition >= 0) {
    stream.Seek(locatorPosition, rtl::soBeginning);
    locator = ReadZip64EndLocator(stream);
  }
  if (locator) {
    int64_t recordPosition = -1;
    const uint64_t recordAt =
        PositionOf(locator->directoryRecordDisk, locator->directoryRecordOffset);
    if (recordAt < static_cast<uint64_t>(locatorPosition) &&
        HoldsSignatureAt(recordAt, kAbZip64EndCentralDirectorySignature)) {
      recordPosition = static_cast<int64_t>(recordAt);
    } else if (allowOffsetShift_ && splitSet_ == nullptr &&
               locatorPosition >= TAbZip64EndRecord::kFixedSize &&
               HoldsSignatureAt(locatorPosition - TAbZip64EndRecord::kFixedSize,
                                kAbZip64EndCentralDirectorySignature)) {
      recordPosition = locatorPosition - TAbZip64EndRecord::kFixedSize;
    }
    if (recordPosition >= 0) {
      stream.Seek(recordPosition, rtl::soBeginning);
      zip64EndRecord_ = ReadZip64EndRecord(stream);
    }
    // A locator without its record, or with one the end record neither
    // needs nor agrees with, may be a chance match in the last directory
    // entry's name: the end record's own values are then the ones to use.
    if (zip64EndRecord_ && !EndRecordTakesZip64(*zip64EndRecord_)) zip64EndRecord_.reset();
    const bool splitLocator = locator->totalDisks > 1 || locator->directoryRecordDisk != 0;
    if (splitLocator && splitSet_ == nullptr &&
        (zip64EndRecord_ || endRecord_->DiskNumber() != 0)) {
      SetState(stInvalid);
      throw EAbZipMultiPart();
    }
    if (zip64EndRecord_) {
      // The record names the disk it stands on, the last, and the one the
      // directory starts on, which cannot come after it.
      const uint32_t lastDisk = PartCount() - 1;
      if (zip64EndRecord_->diskNumber != lastDisk ||
          zip64EndRecord_->startDiskNumber > zip64EndRecord_->diskNumber) {
        SetState(stInvalid);
        if (splitSet_ != nullptr) throw EAbZipInvalid();
        throw EAbZipMultiPart();
      }
      currentPart_ = static_cast<uint16_t>(zip64EndRecord_->diskNumber);
      directoryEnd_ = recordPosition;
      directoryOffset64_ =
          PositionOf(zip64EndRecord_->startDiskNumber, zip64EndRecord_->directoryOffset);
      directorySize64_ = zip64EndRecord_->directorySize;
      totalEntries64_ = zip64EndRecord_->totalEntries;
    }
  }
  if (currentPart_ != 0 && splitSet_ == nullptr) {
    SetState(stInvalid);
    // Only a record that reads like a real part's is named as one: the
    // program's own executable without its payload may hold the signature
    // in its code, followed by bytes that mean nothing.
    if (!zip64EndRecord_ && !LooksLikeLastPart(endPosition)) throw EAbZipInvalid();
    throw EAbZipMultiPart();
  }

  // Offsets that count from the start of the ZIP part rather than of the
  // file: the directory ends where the end records begin, so it starts its
  // size before them, a constant distance behind where it says. The parts of
  // a split set are files of the writer's own.
  if (!allowOffsetShift_ || splitSet_ != nullptr) return;
  const auto end = static_cast<uint64_t>(directoryEnd_);
  const bool inPlace = directorySize64_ == 0
                           ? directoryOffset64_ == end
                           : HoldsSignatureAt(directoryOffset64_, kAbZipCentralDirectorySignature);
  if (inPlace || directorySize64_ > end) return;
  const uint64_t expected = end - directorySize64_;
  if (expected <= directoryOffset64_) return;
  if (directorySize64_ != 0 && !HoldsSignatureAt(expected, kAbZipCentralDirectorySignature)) return;
  offsetShift_ = expected - directoryOffset64_;
  directoryOffset64_ = expected;
}

void TAbZipArchive::ReadCatalogue() {
  // A second load starts again from the last part alone.
  if (splitSet_ != nullptr) {
    ExchangeStream(splitSet_->TakeLastPart());
    splitSet_ = nullptr;
  }
  rtl::TStream& stream = Stream();
  offsetShift_ = 0;
  zip64EndRecord_.reset();
  memberSpansChecked_ = false;
  directoryMismatch_ = false;
  if (stream.Size() == 0) return;
  stream.Seek(0, rtl::soBeginning);
  uint32_t first = 0;
  ReadField(stream, first);
  if (dynamic_cast<TAbSpanStream*>(&stream) != nullptr) removableDrive_ = RemovableMedia();

  // Only single files are read: the first part of a multi-part set, a file
  // without an end record and a record on another disk are all refused.
  // "PK00" is the mark of a split that needed one part only: a whole archive,
  // read as any other (the end record still says if it is not).
  // The last part of a split set may begin with a data descriptor, whose
  // signature is the same: a reader of sets goes by the end record alone.
  if (first == kAbZipSpannedSetSignature && !readsSplitSets_) {
    SetState(stInvalid);
    throw EAbZipMultiPart();
  }
  int64_t endPosition = FindEndRecord(stream);
  if (endPosition < 0) {
    SetState(stInvalid);
    if (first == kAbZipSpannedSetSignature) throw EAbZipMultiPart();
    throw EAbZipInvalid();
  }
  endRecord_ = std::make_unique<TAbZipDirectoryFileFooter>();
  endRecord_->ReadFrom(stream);
  currentPart_ = endRecord_->DiskNumber();
  if (readsSplitSets_) {
    if (const uint32_t lastDisk = SplitSetLastDisk(endPosition); lastDisk > 0) {
      OpenSplitSet(lastDisk);
      endPosition =
          static_cast<int64_t>(splitSet_->PositionOf(lastDisk, 0).value_or(0)) + endPosition;
    }
  }
  ReadDirectoryBounds(endPosition);
  // Offsets count from the start of the whole file (unless a shift was
  // allowed and found). A directory said to start behind its own end record
  // is damaged; reading on would report an empty catalogue as if that were
  // what the archive holds.
  if (directoryOffset64_ > static_cast<uint64_t>(directoryEnd_)) throw EAbZipInvalid();
  rtl::TStream& whole = Stream();
  whole.Seek(static_cast<int64_t>(directoryOffset64_), rtl::soBeginning);

  TAbBufferedReader directory(whole);
  const TAbZipItemContext context = ItemContext();
  const int64_t declaredEnd = DeclaredDirectoryEnd();
  uint64_t count = 0;
  while (directory.Position() < declaredEnd) {
    auto item = std::make_unique<TAbZipItem>();
    item->LoadFromStream(directory, context);
    Items().AppendItem(std::move(item));
    ++count;
    // A total of 0 in front of a non-empty directory reports 0, not a
    // division by zero; a total below the count wraps as a byte does.
    bool abort = false;
    DoOverallProgress(
        totalEntries64_ == 0 ? 0 : static_cast<uint8_t>(count * 100 / totalEntries64_), abort);
    if (abort) {
      SetState(stInvalid);
      throw EAbUserAbort();
    }
  }
  CheckDirectoryAgainstRecords(count, directory.Position(), declaredEnd);
  bool ignored = false;
  DoOverallProgress(100, ignored);
}

bool TAbZipArchive::EndRecordTakesZip64(const TAbZip64EndRecord& record) const {
  const TAbZipDirectoryFileFooter& r = *endRecord_;
  const bool needs = r.DiskNumber() == 0xFFFF || r.StartDiskNumber() == 0xFFFF ||
                     r.EntriesOnDisk() == 0xFFFF || r.TotalEntries() == 0xFFFF ||
                     r.DirectorySize() == 0xFFFFFFFF || r.DirectoryOffset() == 0xFFFFFFFF;
  const bool agrees = record.totalEntries == r.TotalEntries() &&
                      record.directorySize == r.DirectorySize() &&
                      record.directoryOffset == r.DirectoryOffset();
  return needs || agrees;
}

int64_t TAbZipArchive::DeclaredDirectoryEnd() const {
  const uint64_t found = static_cast<uint64_t>(directoryEnd_) - directoryOffset64_;
  // Without ZIP64 records a directory of 4 GiB or more can only state its
  // size modulo 2^32, as writers before ZIP64 did.
  if (!zip64EndRecord_ && found > 0xFFFFFFFF && (found & 0xFFFFFFFF) == directorySize64_)
    return directoryEnd_;
  if (directorySize64_ >= found) return directoryEnd_;
  return static_cast<int64_t>(directoryOffset64_ + directorySize64_);
}

void TAbZipArchive::CheckDirectoryAgainstRecords(uint64_t count, int64_t readEnd,
                                                 int64_t declaredEnd) {
  // Likewise the count of a directory of 65,536 entries or more.
  const bool countAgrees = count == totalEntries64_ || (!zip64EndRecord_ && count > 0xFFFF &&
                                                        (count & 0xFFFF) == totalEntries64_);
  // The entries fill the declared size exactly, and nothing but the end
  // records follows them.
  const bool sizeAgrees = readEnd == declaredEnd && declaredEnd == directoryEnd_;
  directoryMismatch_ = !countAgrees || !sizeAgrees;
  if (!directoryMismatch_) return;
  // No directory entry where the records put one: the record was a chance
  // match (a program's own bytes, say), not a damaged archive.
  if (directoryEnd_ > static_cast<int64_t>(directoryOffset64_) &&
      !HoldsSignatureAt(directoryOffset64_, kAbZipCentralDirectorySignature)) {
    directoryMismatch_ = false;
    SetState(stInvalid);
    throw EAbZipInvalid();
  }
  if (!toleratesDirectoryMismatch_) {
    SetState(stInvalid);
    throw EAbZipDirectoryMismatch();
  }
  // Never more members than the records declare, whichever declares fewer.
  if (!countAgrees && count > totalEntries64_) {
    while (static_cast<uint64_t>(ItemCount()) > totalEntries64_)
      Items().DeleteItem(ItemCount() - 1);
  }
}

void TAbZipArchive::CheckMemberSpans() {
  if (memberSpansChecked_) return;
  std::vector<TAbZipItem*> items;
  items.reserve(static_cast<size_t>(ItemCount()));
  for (int32_t i = 0; i < ItemCount(); ++i) items.push_back(&Item(i));
  const uint64_t recordsEnd = static_cast<uint64_t>(endRecordPosition_) + kEndRecordSize +
                              endRecord_->ZipfileCommentLength();
  const TAbByteRange directory{directoryOffset64_, recordsEnd};
  const std::vector<bool> overlaps = FindOverlappingMembers(Stream(), items, directory);
  for (size_t i = 0; i < items.size(); ++i) items[i]->spanOverlaps_ = overlaps[i];
  memberSpansChecked_ = true;
}

void TAbZipArchive::ExtractItemData(int32_t index, const std::string& name) {
  if (!ExtractHook) throw EAbZipNoExtraction();
  ExtractHook(*this, Item(index), name);
}

}  // namespace ab
