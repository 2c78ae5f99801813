// One member of an archive's catalogue as a value: every fact its central
// directory entry gives, decoded once, each under one accessor in its full
// width (sizes and offsets are 64-bit whether or not ZIP64 carried them).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace zip {

// A moment in UTC: seconds since 1970-01-01 (negative before) and the
// nanoseconds within that second.
struct Time {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
  friend bool operator==(const Time&, const Time&) = default;
};

// An MS-DOS stamp broken into its fields, as stored: local time of the
// writer, 2-second steps, unchecked (a damaged stamp may give month 15).
struct DosDateTime {
  int year = 1980;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  friend bool operator==(const DosDateTime&, const DosDateTime&) = default;
};
DosDateTime DecodeDosDateTime(uint16_t dosDate, uint16_t dosTime);

enum class Encryption : uint8_t {
  kNone,
  kTraditional,  // PKWARE's original cipher
  kWinZipAes,    // method 99, or the 0x9901 extra field
  kStrong,       // PKWARE's strong encryption or a masked directory
};

// Which rule gave the UTF-8 name.
enum class NameOrigin : uint8_t {
  kUtf8Flag,          // flag bit 11: the stored bytes are UTF-8
  kUnicodePathField,  // Info-ZIP's Unicode Path extra field
  kUnixUtf8,          // made on Unix or macOS, and the bytes are valid UTF-8
  kCodePage,          // the stored bytes in the archive's code page
};

// Host systems of "version made by" that change how attributes read.
enum HostSystem : uint8_t {
  kMsDos = 0,
  kUnix = 3,
  kOs2Hpfs = 6,
  kNtfs = 10,
  kVfat = 14,
  kMacOsX = 19,
};

// What WinZip's AES block (0x9901) says of an entry.
struct WinZipAesFacts {
  uint16_t vendorVersion = 0;  // 1: AE-1, with a CRC-32; 2: AE-2, without
  uint8_t strength = 0;        // 1, 2, 3 for 128, 192, 256-bit keys
  uint16_t method = 0;         // what the data was compressed with before encryption
  // The bytes of the compressed size that hold no data: the salt and the
  // password verifier before it, the authentication code after it.
  uint64_t overhead = 0;
};

// The user and group ids a Unix extra field gives.
struct UnixOwner {
  uint32_t user = 0;
  uint32_t group = 0;
  friend bool operator==(const UnixOwner&, const UnixOwner&) = default;
};

class Entry {
 public:
  // Its place in the catalogue, from 0.
  size_t Index() const { return index_; }
  // UTF-8, `/` between folders (a `\` becomes `/` only in names made on
  // MS-DOS that hold no `/`).
  const std::string& Name() const { return name_; }
  // The name's bytes as stored, up to a NUL if one is stored.
  const std::string& RawName() const { return rawName_; }
  // OpenOptions::nameCase lowercased the name (whether or not it held an
  // upper-case letter).
  bool NameLowered() const { return nameLowered_; }
  zip::NameOrigin NameOrigin() const { return nameOrigin_; }
  const std::string& Comment() const { return comment_; }
  // The central header's extra field, as stored.
  const std::string& ExtraField() const { return extraField_; }
  // The owner from Info-ZIP's Unix extra field (0x7875), else from the older
  // one (0x5855) where it carries the ids; nothing when neither does. Read
  // from the extra field when asked: few callers want it.
  std::optional<UnixOwner> Owner() const;
  // WinZip's AES block, when the extra field holds one whole, of a version
  // and strength WinZip defined. Read from the extra field when asked.
  std::optional<WinZipAesFacts> WinZipAes() const;

  // The stored 16-bit method code: 0 stored, 8 Deflate, 9 Deflate64, ...
  uint16_t Method() const { return method_; }
  uint16_t Flags() const { return flags_; }
  uint16_t VersionMadeBy() const { return versionMadeBy_; }
  uint16_t VersionNeeded() const { return versionNeeded_; }
  uint8_t Host() const { return static_cast<uint8_t>(versionMadeBy_ >> 8); }

  uint64_t CompressedSize() const { return compressedSize_; }
  uint64_t Size() const { return size_; }
  // Where the entry's local header lies in the source (with any offset
  // shift the archive found), and on which disk of a split set.
  uint64_t LocalHeaderOffset() const { return localHeaderOffset_; }
  uint32_t Disk() const { return disk_; }
  uint32_t Crc32() const { return crc32_; }

  // The MS-DOS date and time, local time of the writer, 2-second steps.
  uint16_t DosDate() const { return dosDate_; }
  uint16_t DosTime() const { return dosTime_; }
  // UTC, from the extended timestamp (0x5455) or, where it has no such
  // time, the NTFS field (0x000a); nothing when neither says.
  const std::optional<Time>& Modified() const { return modified_; }
  const std::optional<Time>& Accessed() const { return accessed_; }

  uint32_t ExternalAttributes() const { return externalAttributes_; }
  // Bit 0: the writer took the data for text.
  uint16_t InternalAttributes() const { return internalAttributes_; }
  bool IsText() const { return (internalAttributes_ & 1) != 0; }
  // The Unix mode (type and permission bits) when made on Unix or macOS,
  // else 0.
  uint16_t UnixMode() const { return unixMode_; }
  // The MS-DOS attribute byte where the host keeps one, else 0.
  uint8_t DosAttributes() const { return dosAttributes_; }
  bool IsFolder() const { return isFolder_; }
  // A symbolic link: its data is the link's target.
  bool IsLink() const { return isLink_; }

  zip::Encryption Encryption() const { return encryption_; }
  bool IsEncrypted() const { return encryption_ != zip::Encryption::kNone; }
  // A damaged block of times, attributes or a comment in the extra field:
  // what it says is lost, the entry itself is sound.
  bool ExtraFieldPartLost() const { return extraFieldPartLost_; }
  // Damage in a block that carries sizes, offsets, the name or the cipher:
  // the entry cannot be read.
  bool ExtraFieldDamaged() const { return extraFieldDamaged_; }

 private:
  friend class EntryBuilder;

  // The archive that made the entry: reading it from another is refused.
  const void* owner_ = nullptr;
  size_t index_ = 0;
  std::string name_;
  std::string rawName_;
  std::string comment_;
  std::string extraField_;
  uint64_t compressedSize_ = 0;
  uint64_t size_ = 0;
  uint64_t localHeaderOffset_ = 0;
  std::optional<Time> modified_;
  std::optional<Time> accessed_;
  uint32_t disk_ = 0;
  uint32_t crc32_ = 0;
  uint32_t externalAttributes_ = 0;
  uint16_t method_ = 0;
  uint16_t flags_ = 0;
  uint16_t versionMadeBy_ = 0;
  uint16_t versionNeeded_ = 0;
  uint16_t dosDate_ = 0;
  uint16_t dosTime_ = 0;
  uint16_t internalAttributes_ = 0;
  uint16_t unixMode_ = 0;
  uint8_t dosAttributes_ = 0;
  zip::NameOrigin nameOrigin_ = zip::NameOrigin::kCodePage;
  zip::Encryption encryption_ = zip::Encryption::kNone;
  bool isFolder_ = false;
  bool isLink_ = false;
  bool nameLowered_ = false;
  bool extraFieldPartLost_ = false;
  bool extraFieldDamaged_ = false;
  bool winZipAesField_ = false;
};

}  // namespace zip
