// The ZIP catalogue item and the ZIP archive, which loads its catalogue from
// the central directory and extracts through ExtractHook.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/AbArcTyp.h"
#include "rtl/Stream.h"
#include "zip/engine/AbZipLayout.h"
#include "zip/engine/AbZipRecords.h"

namespace ab {

class TAbZipItem : public TAbArchiveItem {
 public:
  TAbZipItem() = default;

  // Reads the central directory header at the stream's position and takes
  // its name (OEM text converted to ANSI, or UTF-8 when flag bit 11 says so).
  // Then decodes the facts below with the context.
  void LoadFromStream(rtl::TStream& stream, const TAbZipItemContext& context = {});
  // Decodes the facts again from the stored header (another name charset).
  void DecodeFacts(const TAbZipItemContext& context);

  // ---- Facts decoded from the central header, its extra fields and its
  // attributes; the stored record and the accessors above and below it that
  // read it stay as they are.

  // The high byte of "version made by".
  uint8_t HostSystem() const { return static_cast<uint8_t>(VersionMadeBy() >> 8); }
  // The name as UTF-8, `/` between folders (a `\` becomes `/` only in names
  // made on MS-DOS that hold no `/`).
  const std::string& UnicodeName() const { return facts_.unicodeName; }
  TAbNameOrigin NameOrigin() const { return facts_.nameOrigin; }
  // The ZIP64 extra field resolved; the offset with the archive's shift.
  uint64_t CompressedSize64() const { return facts_.compressedSize; }
  uint64_t UncompressedSize64() const { return facts_.uncompressedSize; }
  uint64_t LocalHeaderOffset64() const { return facts_.localHeaderOffset; }
  uint32_t DiskNumberStart32() const { return facts_.diskNumberStart; }
  bool IsFolder() const { return IsFolderEntry(centralHeader_, facts_.unicodeName); }
  bool IsSymbolicLink() const { return IsLinkEntry(centralHeader_, facts_.unicodeName); }
  uint16_t UnixMode() const { return UnixModeOf(centralHeader_); }
  uint8_t DosAttributes() const { return DosAttributesOf(centralHeader_); }
  // UTC, from the extended timestamp (0x5455) or, where it has no such
  // time, the NTFS field (0x000a); nothing when neither says.
  const std::optional<TAbZipTime>& ModifiedTime() const { return facts_.modified; }
  const std::optional<TAbZipTime>& AccessedTime() const { return facts_.accessed; }
  bool ExtraFieldDamaged() const { return facts_.extraFieldDamaged; }
  // What a damaged block of times, attributes or a comment says is lost;
  // the member itself is sound.
  bool ExtraFieldPartLost() const { return facts_.extraFieldPartLost; }
  const TAbEntryFacts& Facts() const { return facts_; }
  // Its span in the file (local header to the end of its data and data
  // descriptor) overlaps another member's or the central directory; known
  // once the archive has checked the spans (CheckMemberSpans).
  bool SpanOverlaps() const { return spanOverlaps_; }

  TAbZipDirectoryFileHeader& CentralHeader() { return centralHeader_; }
  const TAbZipDirectoryFileHeader& CentralHeader() const { return centralHeader_; }

  uint32_t CompressedSize() const override { return centralHeader_.CompressedSize(); }
  uint32_t Crc32() const override { return centralHeader_.Crc32(); }
  uint32_t ExternalFileAttributes() const override {
    return centralHeader_.ExternalFileAttributes();
  }
  bool IsEncrypted() const override { return centralHeader_.IsEncrypted(); }
  uint16_t LastModFileDate() const override { return centralHeader_.LastModFileDate(); }
  uint16_t LastModFileTime() const override { return centralHeader_.LastModFileTime(); }
  uint32_t UncompressedSize() const override { return centralHeader_.UncompressedSize(); }

  uint8_t CompressionMethod() const { return centralHeader_.CompressionMethod(); }
  uint16_t GeneralPurposeBitFlag() const { return centralHeader_.GeneralPurposeBitFlag(); }
  TAbZipDictionarySize DictionarySize() const { return centralHeader_.DictionarySize(); }
  uint8_t ShannonFanoTreeCount() const { return centralHeader_.ShannonFanoTreeCount(); }
  uint16_t DiskNumberStart() const { return centralHeader_.DiskNumberStart(); }
  uint32_t RelativeOffset() const { return centralHeader_.RelativeOffset(); }
  uint16_t VersionNeededToExtract() const { return centralHeader_.VersionNeededToExtract(); }
  uint16_t VersionMadeBy() const { return centralHeader_.VersionMadeBy(); }
  // The extra field up to its first zero byte.
  std::string ExtraField() const;

 private:
  TAbZipDirectoryFileHeader centralHeader_;
  TAbEntryFacts facts_;
  bool spanOverlaps_ = false;
  friend class TAbZipArchive;
};

// Where the item lies in the archive, as the central directory says.
TAbMemberPlace PlaceOf(const TAbZipItem& item);

class TAbZipArchive;
using TAbZipExtractHook =
    std::function<void(TAbZipArchive& sender, TAbZipItem& item, const std::string& newName)>;
// sender is the object asking (the archive, or a decoder working for it).
using TAbPasswordRequestEvent = std::function<void(void* sender, std::string& password)>;

class TAbZipArchive : public TAbArchive {
 public:
  // Opens the file (a full path) with the open mode; the installer passes its
  // own executable and 0x40 (read, share-deny-none).
  TAbZipArchive(const std::string& fileName, uint16_t mode);
  // Reads an archive from a stream the caller has filled, a memory stream
  // for example; fileName only names it.
  explicit TAbZipArchive(std::unique_ptr<rtl::TStream> stream, const std::string& fileName = "");

  TAbZipItem& Item(int32_t index) const {
    return static_cast<TAbZipItem&>(TAbArchive::Item(index));
  }

  uint16_t CurrentPart() const { return currentPart_; }
  void SetCurrentPart(uint16_t part) { currentPart_ = part; }
  const TAbZipDirectoryFileFooter& EndRecord() const { return bounds_.endRecord; }
  const std::string& ArchivePassword() const { return archivePassword_; }
  void SetArchivePassword(std::string password) { archivePassword_ = std::move(password); }
  uint8_t PasswordTryLimit() const { return passwordTryLimit_; }
  void SetPasswordTryLimit(uint8_t limit) { passwordTryLimit_ = limit; }

  // The charset of names that say nothing of their own ("" for the OEM code
  // page); the loaded items decode their names again. EAbZipUnknownCharset
  // when the system knows no such charset.
  void SetNameCharset(const std::string& charset);
  const std::string& NameCharset() const { return nameCharset_; }

  // Whether loading may read an archive whose offsets count from the start
  // of the ZIP part rather than of the file (an archive appended to a
  // program by a tool that did not adjust them). Off unless asked for: the
  // installer's own payload counts from the start of the file.
  void SetAllowOffsetShift(bool allow) { allowOffsetShift_ = allow; }
  bool AllowOffsetShift() const { return allowOffsetShift_; }
  // The bytes in front of the ZIP part that its offsets leave out; every
  // offset read is moved by it. 0 unless allowed and found.
  uint64_t OffsetShift() const { return bounds_.offsetShift; }

  // Whether a member that says it needs a version above 2.0 is decoded when
  // this reader has what it needs (its method, ZIP64), rather than refused
  // as "newer version required". Off unless asked for: the installer's
  // payload never needs more.
  void SetAcceptsNewerVersions(bool accept) { acceptsNewerVersions_ = accept; }
  bool AcceptsNewerVersions() const { return acceptsNewerVersions_; }

  // Whether loading goes on when the directory's entries are not the ones
  // the end records count and size (EAbZipDirectoryMismatch otherwise): the
  // catalogue then holds the entries inside the declared size, no more than
  // the declared count, and DirectoryMismatch() says so.
  void SetToleratesDirectoryMismatch(bool tolerate) { toleratesDirectoryMismatch_ = tolerate; }
  bool DirectoryMismatch() const { return directoryMismatch_; }

  // The catalogue came from the ZIP64 records.
  bool IsZip64() const { return bounds_.zip64EndRecord.has_value(); }
  const std::optional<TAbZip64EndRecord>& Zip64EndRecord() const {
    return bounds_.zip64EndRecord;
  }
  // The directory as the catalogue was read: 64-bit values, the offset
  // shifted.
  uint64_t DirectoryOffset64() const { return bounds_.directoryOffset; }
  uint64_t DirectorySize64() const { return bounds_.directorySize; }
  uint64_t TotalEntries64() const { return bounds_.totalEntries; }

  // Reads each member's local header to learn its span and marks the
  // members whose spans overlap another's or the central directory (see
  // TAbZipItem::SpanOverlaps). The first decode does it when no one has; a
  // caller that decodes on several threads calls it first.
  void CheckMemberSpans();
  bool MemberSpansChecked() const { return memberSpansChecked_; }

  // Called for each chosen item; the installer points it at the member decoder.
  TAbZipExtractHook ExtractHook;
  TAbPasswordRequestEvent OnPasswordRequest;

 protected:
  void ReadCatalogue() override;
  void ExtractItemData(int32_t index, const std::string& name) override;

 private:
  uint16_t currentPart_ = 0xFFFF;
  bool removableDrive_ = false;
  TAbZipItemContext ItemContext() const { return {nameCharset_, bounds_.offsetShift}; }

  std::string archivePassword_;
  uint8_t passwordTryLimit_ = 3;
  std::string nameCharset_;
  bool allowOffsetShift_ = false;
  bool toleratesDirectoryMismatch_ = false;
  bool acceptsNewerVersions_ = false;
  bool directoryMismatch_ = false;
  TAbDirectoryBounds bounds_;
  bool memberSpansChecked_ = false;
};

}  // namespace ab
