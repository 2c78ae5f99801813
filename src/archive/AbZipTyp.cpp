#include "archive/AbZipTyp.h"

#include "archive/AbSpanSt.h"
#include "archive/AbUtils.h"

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

// ---- Item ----------------------------------------------------------------------

void TAbZipItem::LoadFromStream(rtl::TStream& stream) {
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

void TAbZipArchive::ReadCatalogue() {
  rtl::TStream& stream = Stream();
  if (stream.Size() == 0) return;
  stream.Seek(0, rtl::soBeginning);
  uint32_t first = 0;
  ReadField(stream, first);
  if (dynamic_cast<TAbSpanStream*>(&stream) != nullptr) removableDrive_ = RemovableMedia();

  // The first part of a multi-part set, a file without an end record and a
  // record on another disk are all refused: only single files are read.
  const bool spanned =
      first == kAbZipSpannedSetSignature || first == kAbZipPossiblySpannedSignature;
  const int64_t endPosition = spanned ? -1 : FindEndRecord(stream);
  if (endPosition < 0) {
    SetState(stInvalid);
    throw EAbZipInvalid();
  }
  endRecord_ = std::make_unique<TAbZipDirectoryFileFooter>();
  endRecord_->ReadFrom(stream);
  currentPart_ = endRecord_->DiskNumber();
  if (currentPart_ != 0) {
    SetState(stInvalid);
    throw EAbZipInvalid();
  }
  // Offsets count from the start of the whole file. A directory said to
  // start behind its own end record is damaged; reading on would report an
  // empty catalogue as if that were what the archive holds.
  if (endRecord_->DirectoryOffset() > endPosition) throw EAbZipInvalid();
  stream.Seek(endRecord_->DirectoryOffset(), rtl::soBeginning);

  int32_t count = 0;
  while (stream.Position() < endPosition) {
    auto item = std::make_unique<TAbZipItem>();
    item->LoadFromStream(stream);
    Items().AppendItem(std::move(item));
    ++count;
    // A total of 0 in front of a non-empty directory reports 0, not a
    // division by zero.
    bool abort = false;
    DoOverallProgress(Percentage(count, endRecord_->TotalEntries()), abort);
    if (abort) {
      SetState(stInvalid);
      throw EAbUserAbort();
    }
  }
  bool ignored = false;
  DoOverallProgress(100, ignored);
}

void TAbZipArchive::ExtractItemData(int32_t index, const std::string& name) {
  if (!ExtractHook) throw EAbZipNoExtraction();
  ExtractHook(*this, Item(index), name);
}

}  // namespace ab
