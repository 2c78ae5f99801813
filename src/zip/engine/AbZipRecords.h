// The ZIP format's records (local and central headers, end records, data
// descriptor), where the central directory lies, and the facts an entry's
// central header gives once its extra fields are read: what every reader
// of the format needs, the library's and the installer's alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "rtl/Stream.h"
#include "zip/engine/AbZipExtra.h"

namespace ab {

constexpr uint32_t kAbZipLocalFileHeaderSignature = 0x04034B50;
constexpr uint32_t kAbZipCentralDirectorySignature = 0x02014B50;
constexpr uint32_t kAbZipEndCentralDirectorySignature = 0x06054B50;
constexpr uint32_t kAbZipSpannedSetSignature = 0x08074B50;
constexpr uint32_t kAbZipPossiblySpannedSignature = 0x30304B50;
constexpr uint32_t kAbZip64EndCentralDirectorySignature = 0x06064B50;
constexpr uint32_t kAbZip64EndLocatorSignature = 0x07064B50;
constexpr uint32_t kAbZipDataDescriptorSignature = 0x08074B50;
constexpr uint16_t kAbZipSignaturePrefix = 0x4B50;  // "PK"
// The end record without its comment: the smallest archive there is.
constexpr int32_t kAbZipEndRecordSize = 22;

enum TAbZipDictionarySize : uint8_t { dsInvalid = 0, ds4K = 1, ds8K = 2 };
// Implode's options, from its general purpose flags; dsInvalid and 0 for
// every other method.
TAbZipDictionarySize DictionarySizeOf(uint8_t method, uint16_t flags);
uint8_t ShannonFanoTreeCountOf(uint8_t method, uint16_t flags);

// The fields the local and central headers share. ReadFrom reads the record
// at the stream's position and leaves the stream behind its variable parts;
// a short read leaves the unread fields as they were and only the signature
// is checked (EAbZipInvalid).
class TAbZipFileHeader {
 public:
  virtual ~TAbZipFileHeader() = default;

  uint32_t ExpectedSignature() const { return expectedSignature_; }
  uint32_t Signature() const { return signature_; }
  bool IsValid() const { return signature_ == expectedSignature_; }
  uint16_t VersionNeededToExtract() const { return versionNeededToExtract_; }
  uint16_t GeneralPurposeBitFlag() const { return generalPurposeBitFlag_; }
  // The stored field; CompressionMethod() is its low 8 bits.
  uint16_t RawCompressionMethod() const { return compressionMethod_; }
  uint8_t CompressionMethod() const { return static_cast<uint8_t>(compressionMethod_); }
  uint16_t LastModFileTime() const { return lastModFileTime_; }
  uint16_t LastModFileDate() const { return lastModFileDate_; }
  uint32_t Crc32() const { return crc32_; }
  uint32_t CompressedSize() const { return compressedSize_; }
  uint32_t UncompressedSize() const { return uncompressedSize_; }
  uint16_t FileNameLength() const { return fileNameLength_; }
  uint16_t ExtraFieldLength() const { return extraFieldLength_; }
  // The stored bytes, zeros included (FileNameLength() of them).
  const std::string& FileName() const { return fileName_; }
  const std::string& ExtraField() const { return extraField_; }

  bool IsEncrypted() const { return (generalPurposeBitFlag_ & 0x0001) != 0; }
  // Name and comment are UTF-8 (general purpose flag bit 11).
  bool IsUtf8() const { return (generalPurposeBitFlag_ & 0x0800) != 0; }
  // Implode options; dsInvalid and 0 for every other method.
  TAbZipDictionarySize DictionarySize() const;
  uint8_t ShannonFanoTreeCount() const;

 protected:
  explicit TAbZipFileHeader(uint32_t expectedSignature) : expectedSignature_(expectedSignature) {}
  // The parts of a record in memory, in file order; at moves past each.
  void ParseSignature(const uint8_t* bytes, size_t size, size_t& at);
  // The fields from version needed to extra field length.
  void ParseCommonFields(const uint8_t* bytes, size_t size, size_t& at);
  // Name and extra field, by the lengths read.
  void ParseNameAndExtra(const uint8_t* bytes, size_t size, size_t& at);
  void CheckSignature() const;

 private:
  uint32_t expectedSignature_;
  uint32_t signature_ = 0;
  uint16_t versionNeededToExtract_ = 0;
  uint16_t generalPurposeBitFlag_ = 0;
  uint16_t compressionMethod_ = 0;
  uint16_t lastModFileTime_ = 0;
  uint16_t lastModFileDate_ = 0;
  uint32_t crc32_ = 0;
  uint32_t compressedSize_ = 0;
  uint32_t uncompressedSize_ = 0;
  uint16_t fileNameLength_ = 0;
  uint16_t extraFieldLength_ = 0;
  std::string fileName_;
  std::string extraField_;
};

class TAbZipLocalFileHeader : public TAbZipFileHeader {
 public:
  static constexpr size_t kFixedSize = 30;

  TAbZipLocalFileHeader() : TAbZipFileHeader(kAbZipLocalFileHeaderSignature) {}
  void ReadFrom(rtl::TStream& stream);
  void ParseFrom(const uint8_t* bytes, size_t size);
};

class TAbZipDirectoryFileHeader : public TAbZipFileHeader {
 public:
  static constexpr size_t kFixedSize = 46;

  TAbZipDirectoryFileHeader() : TAbZipFileHeader(kAbZipCentralDirectorySignature) {}
  void ReadFrom(rtl::TStream& stream);
  // The same from the record's bytes in memory, as many as there are: a
  // field they do not reach stays as it was, as after a short read.
  void ParseFrom(const uint8_t* bytes, size_t size);
  // The length of the record whose fixed part is in bytes (kFixedSize of
  // them), its name, extra field and comment included.
  static size_t RecordLength(const uint8_t* fixedPart);

  uint16_t VersionMadeBy() const { return versionMadeBy_; }
  uint16_t FileCommentLength() const { return fileCommentLength_; }
  uint16_t DiskNumberStart() const { return diskNumberStart_; }
  uint16_t InternalFileAttributes() const { return internalFileAttributes_; }
  uint32_t ExternalFileAttributes() const { return externalFileAttributes_; }
  uint32_t RelativeOffset() const { return relativeOffset_; }
  const std::string& FileComment() const { return fileComment_; }

 private:
  uint16_t versionMadeBy_ = 0;
  uint16_t fileCommentLength_ = 0;
  uint16_t diskNumberStart_ = 0;
  uint16_t internalFileAttributes_ = 0;
  uint32_t externalFileAttributes_ = 0;
  uint32_t relativeOffset_ = 0;
  std::string fileComment_;
};

// The end-of-central-directory record.
class TAbZipDirectoryFileFooter {
 public:
  void ReadFrom(rtl::TStream& stream);

  uint32_t ExpectedSignature() const { return kAbZipEndCentralDirectorySignature; }
  uint32_t Signature() const { return signature_; }
  bool IsValid() const { return signature_ == kAbZipEndCentralDirectorySignature; }
  uint16_t DiskNumber() const { return diskNumber_; }
  uint16_t StartDiskNumber() const { return startDiskNumber_; }
  uint16_t EntriesOnDisk() const { return entriesOnDisk_; }
  uint16_t TotalEntries() const { return totalEntries_; }
  uint32_t DirectorySize() const { return directorySize_; }
  uint32_t DirectoryOffset() const { return directoryOffset_; }
  uint16_t ZipfileCommentLength() const { return zipfileCommentLength_; }
  const std::string& ZipfileComment() const { return zipfileComment_; }

 private:
  uint32_t signature_ = 0;
  uint16_t diskNumber_ = 0;
  uint16_t startDiskNumber_ = 0;
  uint16_t entriesOnDisk_ = 0;
  uint16_t totalEntries_ = 0;
  uint32_t directorySize_ = 0;
  uint32_t directoryOffset_ = 0;
  uint16_t zipfileCommentLength_ = 0;
  std::string zipfileComment_;
};

// The ZIP64 end-of-central-directory locator, which stands just in front of
// the end record of an archive whose directory needs 64-bit values.
struct TAbZip64EndLocator {
  static constexpr int32_t kSize = 20;
  uint32_t directoryRecordDisk = 0;
  uint64_t directoryRecordOffset = 0;
  uint32_t totalDisks = 0;
};

// The ZIP64 end-of-central-directory record (its extensible data skipped).
struct TAbZip64EndRecord {
  static constexpr int32_t kFixedSize = 56;
  uint64_t recordSize = 0;  // of what follows this field
  uint16_t versionMadeBy = 0;
  uint16_t versionNeededToExtract = 0;
  uint32_t diskNumber = 0;
  uint32_t startDiskNumber = 0;
  uint64_t entriesOnDisk = 0;
  uint64_t totalEntries = 0;
  uint64_t directorySize = 0;
  uint64_t directoryOffset = 0;
};

// Read at the stream's position; nothing when the signature is not there.
std::optional<TAbZip64EndLocator> ReadZip64EndLocator(rtl::TStream& stream);
std::optional<TAbZip64EndRecord> ReadZip64EndRecord(rtl::TStream& stream);

// The position of the end-of-central-directory record, searched backwards
// from the end of the stream, with the stream left there; -1 (stream where it
// was) when there is none. rtl::EReadError for a stream under 22 bytes.
int64_t FindEndRecord(rtl::TStream& stream);

// The parts of a split set read as one byte range: each (disk, offset) pair
// the records give is one position in it.
class TAbDiskMap {
 public:
  virtual ~TAbDiskMap() = default;
  // Nothing when there is no such disk, or the part is shorter.
  virtual std::optional<uint64_t> PositionOf(uint32_t disk, uint64_t offset) const = 0;
  virtual uint32_t LastDisk() const = 0;
};

// Where an archive's central directory lies, as its end records say: the
// records read, the directory's 64-bit bounds and the offset shift.
struct TAbDirectoryBounds {
  TAbZipDirectoryFileFooter endRecord;
  int64_t endRecordPosition = 0;
  std::optional<TAbZip64EndRecord> zip64EndRecord;
  uint16_t currentPart = 0;
  uint64_t directoryOffset = 0;  // shifted
  uint64_t directorySize = 0;
  uint64_t totalEntries = 0;
  // Where the directory ends: the ZIP64 record, or the end record.
  int64_t directoryEnd = 0;
  uint64_t offsetShift = 0;

  // Where the end records say the directory ends, never behind where it can.
  int64_t DeclaredEnd() const;
  // The end of the end record and its comment.
  uint64_t RecordsEnd() const;
  // The directory and the end records: no member may share their bytes.
  uint64_t DirectoryStart() const { return directoryOffset; }
};

// Finds and reads the end records of the archive in stream. Refuses, as
// EAbZipInvalid, a file without an end record and, as EAbZipMultiPart, one
// part of a split set. With allowOffsetShift, offsets that count from the
// start of the ZIP part rather than of the file are found and shifted. With
// disks, stream is a whole split set, whose disks and offsets the map turns
// into positions in it.
TAbDirectoryBounds LocateDirectory(rtl::TStream& stream, bool allowOffsetShift,
                                   const TAbDiskMap* disks = nullptr);
// The last disk of the split set whose last part stream is, 0 for an archive
// in one file (or a chance end record that only looks like a part's).
uint32_t SplitSetLastDisk(rtl::TStream& stream);

// Whether the count entries read, ending at readEnd, are the directory the
// end records count and size.
enum class TAbDirectoryAgreement { kAgrees, kDisagrees, kNoDirectoryThere };
TAbDirectoryAgreement CompareDirectory(rtl::TStream& stream, const TAbDirectoryBounds& bounds,
                                       uint64_t count, int64_t readEnd);
// The entries of a directory that disagrees which may be read: never more
// than the records declare, whichever declares fewer.
uint64_t EntriesToKeep(const TAbDirectoryBounds& bounds, uint64_t count);

// Never read: sizes and CRC always come from the central directory.
struct TAbZipDataDescriptor {
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
};

// The "version made by" host systems the reader tells apart.
enum TAbZipHostSystem : uint8_t {
  hsMsDos = 0,
  hsUnix = 3,
  hsOs2Hpfs = 6,
  hsNtfs = 10,
  hsVfat = 14,
  hsMacOsX = 19,
};

// Which rule gave a member's Unicode name.
enum TAbNameOrigin : uint8_t {
  noUtf8Flag,          // flag bit 11: the stored bytes are UTF-8
  noUnicodePathField,  // Info-ZIP's Unicode Path extra field
  noUnixUtf8,          // made on Unix or macOS, and the bytes are valid UTF-8
  noCodePage,          // the stored bytes in the archive's code page (OEM by default)
};

// What the archive tells an item when the item decodes its facts.
struct TAbZipItemContext {
  std::string nameCharset;  // "" for the OEM code page
  uint64_t offsetShift = 0;
  // A split set's parts; none for an archive in one file. A member on a disk
  // outside the set gets an offset that cannot be read (UINT64_MAX).
  const TAbDiskMap* disks = nullptr;
};

// What a central header says once its extra fields and attributes are read:
// the Unicode name, the 64-bit sizes and offset, the times. Every reader of
// the directory decodes a header into these, the installer's items and the
// library's entries alike.
struct TAbEntryFacts {
  std::string unicodeName;
  TAbNameOrigin nameOrigin = noCodePage;
  uint64_t compressedSize = 0;
  uint64_t uncompressedSize = 0;
  // With the archive's offset shift.
  uint64_t localHeaderOffset = 0;
  uint32_t diskNumberStart = 0;
  std::optional<TAbZipTime> modified;
  std::optional<TAbZipTime> accessed;
  // A block that matters is damaged (see TAbExtraBlocks::DamageMatters), or
  // the ZIP64 field lacks a value the header leaves to it.
  bool extraFieldDamaged = false;
  // Only a block of times, attributes or a comment is damaged.
  bool extraFieldPartLost = false;
  // The extra field holds WinZip's AES block.
  bool winZipAesField = false;
};
// Decodes into facts, whose strings keep their storage from one entry to
// the next.
void DecodeEntryFacts(const TAbZipDirectoryFileHeader& header, const TAbZipItemContext& context,
                      TAbEntryFacts& facts);
// Only the sizes, the offset and the disk (and whether the ZIP64 field lacks
// one of them): what finding where a member lies needs.
TAbEntryFacts DecodeEntrySizes(const TAbZipDirectoryFileHeader& header,
                               const TAbZipItemContext& context);

// Facts of the attributes, by the host system that made the entry.
// The high 16 bits of the external attributes when made on Unix or macOS,
// else 0.
uint16_t UnixModeOf(const TAbZipDirectoryFileHeader& header);
// The low byte of the external attributes when made on a host that keeps
// MS-DOS attributes there (MS-DOS, OS/2, Windows, and Unix and macOS,
// where Info-ZIP and others keep them beside the mode), else 0.
uint8_t DosAttributesOf(const TAbZipDirectoryFileHeader& header);
// The name ends in `/`, or the MS-DOS folder bit, or a Unix folder mode.
bool IsFolderEntry(const TAbZipDirectoryFileHeader& header, const std::string& unicodeName);
// Made on Unix or macOS with a link mode (and not a folder): the member's
// data is the link's target.
bool IsLinkEntry(const TAbZipDirectoryFileHeader& header, const std::string& unicodeName);

}  // namespace ab
