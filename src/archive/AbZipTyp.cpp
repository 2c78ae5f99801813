#include "archive/AbZipTyp.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "os/text.h"
#include "zip/engine/AbBufRd.h"
#include "zip/engine/AbSpanSt.h"
#include "zip/engine/AbUtils.h"
#include "zip/engine/AbZipLayout.h"

namespace ab {

// ---- Item ----------------------------------------------------------------------

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
  DecodeEntryFacts(centralHeader_, context, facts_);
}

TAbMemberPlace PlaceOf(const TAbZipItem& item) {
  return {item.LocalHeaderOffset64(), item.CompressedSize64(), item.UncompressedSize64(),
          item.Crc32()};
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

void TAbZipArchive::ReadCatalogue() {
  rtl::TStream& stream = Stream();
  bounds_ = {};
  memberSpansChecked_ = false;
  directoryMismatch_ = false;
  if (stream.Size() == 0) return;
  if (dynamic_cast<TAbSpanStream*>(&stream) != nullptr) removableDrive_ = RemovableMedia();
  try {
    bounds_ = LocateDirectory(stream, allowOffsetShift_);
  } catch (...) {
    SetState(stInvalid);
    throw;
  }
  currentPart_ = bounds_.currentPart;
  // Offsets count from the start of the whole file (unless a shift was
  // allowed and found). A directory said to start behind its own end record
  // is damaged; reading on would report an empty catalogue as if that were
  // what the archive holds.
  if (bounds_.directoryOffset > static_cast<uint64_t>(bounds_.directoryEnd)) throw EAbZipInvalid();
  stream.Seek(static_cast<int64_t>(bounds_.directoryOffset), rtl::soBeginning);

  TAbBufferedReader directory(stream);
  const TAbZipItemContext context = ItemContext();
  const int64_t declaredEnd = bounds_.DeclaredEnd();
  const uint64_t total = bounds_.totalEntries;
  uint64_t count = 0;
  while (directory.Position() < declaredEnd) {
    auto item = std::make_unique<TAbZipItem>();
    item->LoadFromStream(directory, context);
    Items().AppendItem(std::move(item));
    ++count;
    // A total of 0 in front of a non-empty directory reports 0, not a
    // division by zero; a total below the count wraps as a byte does.
    bool abort = false;
    DoOverallProgress(total == 0 ? 0 : static_cast<uint8_t>(count * 100 / total), abort);
    if (abort) {
      SetState(stInvalid);
      throw EAbUserAbort();
    }
  }
  switch (CompareDirectory(stream, bounds_, count, directory.Position())) {
    case TAbDirectoryAgreement::kAgrees:
      break;
    case TAbDirectoryAgreement::kNoDirectoryThere:
      SetState(stInvalid);
      throw EAbZipInvalid();
    case TAbDirectoryAgreement::kDisagrees:
      if (!toleratesDirectoryMismatch_) {
        SetState(stInvalid);
        throw EAbZipDirectoryMismatch();
      }
      directoryMismatch_ = true;
      while (static_cast<uint64_t>(ItemCount()) > EntriesToKeep(bounds_, count))
        Items().DeleteItem(ItemCount() - 1);
      break;
  }
  bool ignored = false;
  DoOverallProgress(100, ignored);
}

void TAbZipArchive::CheckMemberSpans() {
  if (memberSpansChecked_) return;
  const auto count = static_cast<size_t>(ItemCount());
  const TAbByteRange directory{bounds_.DirectoryStart(), bounds_.RecordsEnd()};
  const std::vector<bool> overlaps = FindOverlappingMembers(
      Stream(), count, [this](size_t i) { return PlaceOf(Item(static_cast<int32_t>(i))); },
      directory);
  for (size_t i = 0; i < count; ++i) Item(static_cast<int32_t>(i)).spanOverlaps_ = overlaps[i];
  memberSpansChecked_ = true;
}

void TAbZipArchive::ExtractItemData(int32_t index, const std::string& name) {
  if (!ExtractHook) throw EAbZipNoExtraction();
  ExtractHook(*this, Item(index), name);
}

}  // namespace ab
