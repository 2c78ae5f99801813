// The ZIP format's records (local and central headers, end record, data
// descriptor), the ZIP catalogue item and the ZIP archive, which loads its
// catalogue from the central directory and extracts through ExtractHook.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "archive/AbArcTyp.h"
#include "rtl/Stream.h"

namespace ab {

constexpr uint32_t kAbZipLocalFileHeaderSignature = 0x04034B50;
constexpr uint32_t kAbZipCentralDirectorySignature = 0x02014B50;
constexpr uint32_t kAbZipEndCentralDirectorySignature = 0x06054B50;
constexpr uint32_t kAbZipSpannedSetSignature = 0x08074B50;
constexpr uint32_t kAbZipPossiblySpannedSignature = 0x30304B50;
constexpr uint16_t kAbZipSignaturePrefix = 0x4B50;  // "PK"

enum TAbZipDictionarySize : uint8_t { dsInvalid = 0, ds4K = 1, ds8K = 2 };

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
  // The fields from version needed to extra field length, in file order.
  void ReadCommonFields(rtl::TStream& stream);
  // Name and extra field, by the lengths read.
  void ReadNameAndExtra(rtl::TStream& stream);
  void ReadSignature(rtl::TStream& stream);
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
  TAbZipLocalFileHeader() : TAbZipFileHeader(kAbZipLocalFileHeaderSignature) {}
  void ReadFrom(rtl::TStream& stream);
};

class TAbZipDirectoryFileHeader : public TAbZipFileHeader {
 public:
  TAbZipDirectoryFileHeader() : TAbZipFileHeader(kAbZipCentralDirectorySignature) {}
  void ReadFrom(rtl::TStream& stream);

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

// Never read: sizes and CRC always come from the central directory.
struct TAbZipDataDescriptor {
  uint32_t crc32 = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
};

class TAbZipItem : public TAbArchiveItem {
 public:
  TAbZipItem() = default;

  // Reads the central directory header at the stream's position and takes
  // its name (OEM text converted to ANSI, or UTF-8 when flag bit 11 says so).
  void LoadFromStream(rtl::TStream& stream);

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
};

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
  const TAbZipDirectoryFileFooter& EndRecord() const { return *endRecord_; }
  const std::string& ArchivePassword() const { return archivePassword_; }
  void SetArchivePassword(std::string password) { archivePassword_ = std::move(password); }
  uint8_t PasswordTryLimit() const { return passwordTryLimit_; }
  void SetPasswordTryLimit(uint8_t limit) { passwordTryLimit_ = limit; }

  // Called for each chosen item; the installer points it at the member decoder.
  TAbZipExtractHook ExtractHook;
  TAbPasswordRequestEvent OnPasswordRequest;

 protected:
  void ReadCatalogue() override;
  void ExtractItemData(int32_t index, const std::string& name) override;

 private:
  uint16_t currentPart_ = 0xFFFF;
  bool removableDrive_ = false;
  std::unique_ptr<TAbZipDirectoryFileFooter> endRecord_ =
      std::make_unique<TAbZipDirectoryFileFooter>();
  std::string archivePassword_;
  uint8_t passwordTryLimit_ = 3;
};

}  // namespace ab
