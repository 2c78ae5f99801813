#include "archive/AbArcTyp.h"

#include <optional>

#include "os/text.h"
#include "rtl/Format.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbSpanSt.h"
#include "zip/engine/AbUtils.h"

namespace ab {

// ---- Items and the name index ------------------------------------------------

void TAbArchiveItem::SetItemName(std::string name) {
  fileName_ = std::move(name);
  diskName_ = fileName_;
  SlashesToBackslashes(diskName_);
}

bool TAbArchiveItem::MatchesMaskList(const std::string& masks) const {
  size_t pos = 0;
  while (pos < masks.size()) {
    const size_t semicolon = masks.find(';', pos);
    const size_t end = semicolon == std::string::npos ? masks.size() : semicolon;
    const std::string piece = rtl::TrimControl(masks.substr(pos, end - pos));
    pos = semicolon == std::string::npos ? masks.size() : semicolon + 1;
    if (MatchesMask(piece)) return true;
  }
  return false;
}

bool TAbArchiveItem::MatchesMask(const std::string& mask) const {
  // The drive is dropped: C:\DOCS\*.TXT is matched as DOCS\*.TXT.
  const TAbPathSpec pathSpec = SplitPathSpec(mask);
  std::string name = ItemName();
  SlashesToBackslashes(name);
  return FileMaskMatch(name, pathSpec.folder + pathSpec.name);
}

TAbArchiveList::TAbArchiveList() = default;

TAbArchiveList::~TAbArchiveList() {
  while (!items_.empty()) items_.pop_back();
}

uint32_t TAbArchiveList::BucketOf(const std::string& name) {
  uint32_t h = 0;
  for (char ch : os::text::UpperCaseAscii(name)) {
    h = (h << 4) + static_cast<unsigned char>(ch);
    const uint32_t g = h & 0xF0000000u;
    if (g != 0) h ^= g >> 24;
    h &= ~g;
  }
  return h % kBucketCount;
}

int32_t TAbArchiveList::AppendItem(std::unique_ptr<TAbArchiveItem> item) {
  TAbArchiveItem*& head = buckets_[BucketOf(item->ItemName())];
  item->nextInBucket_ = head;
  head = item.get();
  item->listIndex_ = Count();
  items_.push_back(std::move(item));
  return Count() - 1;
}

int32_t TAbArchiveList::FindByName(const std::string& name) const {
  for (const TAbArchiveItem* item = buckets_[BucketOf(name)]; item != nullptr;
       item = item->nextInBucket_) {
    if (os::text::SameTextAscii(item->ItemName(), name)) return item->listIndex_;
  }
  return -1;
}

bool TAbArchiveList::HasLiveName(const std::string& name) const {
  for (const TAbArchiveItem* item = buckets_[BucketOf(name)]; item != nullptr;
       item = item->nextInBucket_) {
    if (item->PendingAction() != paDelete && os::text::SameTextAscii(item->ItemName(), name))
      return true;
  }
  return false;
}

TAbArchiveItem& TAbArchiveList::Item(int32_t index) const {
  if (index < 0 || index >= Count()) throw rtl::EListError(index);
  return *items_[static_cast<size_t>(index)];
}

void TAbArchiveList::DeleteItem(int32_t index) {
  TAbArchiveItem* victim = &Item(index);
  for (TAbArchiveItem** link = &buckets_[BucketOf(victim->ItemName())]; *link != nullptr;
       link = &(*link)->nextInBucket_) {
    if (*link == victim) {
      *link = victim->nextInBucket_;
      break;
    }
  }
  items_.erase(items_.begin() + index);
  for (size_t i = static_cast<size_t>(index); i < items_.size(); ++i)
    items_[i]->listIndex_ = static_cast<int32_t>(i);
}

void TAbArchiveList::ClearItems() {
  buckets_.fill(nullptr);
  while (!items_.empty()) items_.pop_back();
}

// ---- Lock ----------------------------------------------------------------------

void TAbPadLock::Lock() {
  if (os::IsMultiThread()) {
    section_.Enter();
    ++count_;
  }
}

void TAbPadLock::Unlock() {
  if (count_ > 0) {
    --count_;
    section_.Leave();
  }
}

// ---- Folders -------------------------------------------------------------------

bool FolderExists(const std::string& path) {
  if (path.find_first_of("*?") != std::string::npos) return false;
  const uint32_t attributes = os::FileAttributes(path);
  return attributes != os::kInvalidFileAttributes && (attributes & os::faDirectory) != 0;
}

bool CreateFolderChain(const std::string& folder) {
  if (FolderExists(folder)) return true;
  // Each round takes the text before one more backslash: from the second on,
  // or the fifth past a network path's \\server\share.
  int32_t n = folder.find("\\\\") != std::string::npos ? 5 : 2;
  for (;; ++n) {
    const auto cut = static_cast<size_t>(NthBackslashPos(folder, n));
    const std::string part = folder.substr(0, cut);
    if (!part.empty() && !FolderExists(part) && !os::MakeDirectory(part)) return false;
    if (cut >= folder.size()) return true;
  }
}

// ---- The archive ---------------------------------------------------------------

namespace {

// Unlocks the archive when the scope ends, however it ends.
class TUnlockGuard {
 public:
  explicit TUnlockGuard(TAbArchive& archive) : archive_(archive) {}
  ~TUnlockGuard() { archive_.Unlock(); }
  TUnlockGuard(const TUnlockGuard&) = delete;
  TUnlockGuard& operator=(const TUnlockGuard&) = delete;

 private:
  TAbArchive& archive_;
};

}  // namespace

TAbArchive::TAbArchive(const std::string& fileName, uint16_t mode)
    : fileName_(fileName), openMode_(mode) {
  const std::string fullPath = os::ExpandFileName(fileName);
  const size_t colon = fullPath.find(':');
  TAbMediaType media = mtLocal;
  if (colon != std::string::npos &&
      os::DriveType(fullPath.substr(0, colon + 1)) == os::kDriveRemovable)
    media = mtRemoveable;
  mediaType_ = media;
  stream_ = std::make_unique<TAbSpanStream>(fileName, mode, media, 0);
  Initialise();
}

TAbArchive::TAbArchive(std::unique_ptr<rtl::TStream> stream, const std::string& fileName)
    : stream_(std::move(stream)), fileName_(fileName), openMode_(rtl::fmShareDenyNone) {
  if (stream_ == nullptr) throw EAbBadStream();
  Initialise();
}

TAbArchive::~TAbArchive() = default;

void TAbArchive::Initialise() {
  ItemProgressForwarder = [this](uint8_t percent, bool& abort) {
    ReportItemProgress(percent, abort);
  };
  const std::string module = os::ModuleFileName();
  const size_t slash = module.find_last_of('\\');
  SetBaseFolder(slash == std::string::npos ? std::string() : module.substr(0, slash + 1));
  state_ = stIdle;
}

void TAbArchive::LoadCatalogue() {
  Lock();
  TUnlockGuard unlock(*this);
  // A second load replaces the catalogue rather than adding to it.
  activeItem_ = nullptr;
  items_.ClearItems();
  try {
    ReadCatalogue();
  } catch (...) {
    if (OnCatalogueLoaded) OnCatalogueLoaded(*this);
    throw;
  }
  state_ = stIdle;
  if (OnCatalogueLoaded) OnCatalogueLoaded(*this);
}

void TAbArchive::SetBaseFolder(const std::string& path) {
  std::string folder = path;
  if (folder.size() > 1 && folder.back() == '\\' && folder[folder.size() - 2] != ':')
    folder.pop_back();
  if (!folder.empty() && !FolderExists(folder)) throw EAbNoSuchDirectory();
  baseFolder_ = std::move(folder);
}

void TAbArchive::CheckOpen() const {
  if (state_ == stInvalid) throw EAbNoArchive();
}

void TAbArchive::Lock() {
  lock_.Lock();
  state_ = stBusy;
}

void TAbArchive::Unlock() {
  if (state_ == stBusy) state_ = stIdle;
  lock_.Unlock();
}

// ---- Extraction driver -------------------------------------------------------

void TAbArchive::ExtractMatching(const std::string& masks) {
  ExtractMatchingExcept(masks, "");
}

void TAbArchive::ExtractMatchingExcept(const std::string& masks, const std::string& exceptMasks) {
  // The folder may have gone since it was set; storing it again checks it.
  // The text is already in the program's code page and is kept as it is.
  SetBaseFolder(baseFolder_);
  CheckOpen();
  const int32_t count = ItemCount();
  if (count <= 0) return;
  for (int32_t i = 0; i < count; ++i) {
    const TAbArchiveItem& item = Item(i);
    if (item.MatchesMaskList(masks) && !item.MatchesMaskList(exceptMasks)) ExtractItem(i, "");
    bool abort = false;
    DoOverallProgress(Percentage(i + 1, ItemCount()), abort);
    if (abort) throw EAbUserAbort();
  }
  bool ignored = false;
  DoOverallProgress(100, ignored);
}

void TAbArchive::ExtractItem(int32_t index, const std::string& newName) {
  CheckOpen();
  TAbArchiveItem& item = Item(index);
  Lock();
  TUnlockGuard unlock(*this);
  bool confirm = true;
  DoConfirmItem(item, opExtract, confirm);
  if (!confirm) return;
  const std::string name = newName.empty() ? item.ItemName() : newName;
  activeItem_ = &item;
  std::optional<TAbFailure> failure;
  try {
    ExtractItemData(index, name);
  } catch (const std::exception& error) {
    failure = ClassifyFailure(error);
  }
  // Outside the catch: what the handler raises goes to the caller.
  if (failure) DoItemFailure(item, opExtract, failure->kind, failure->number);
}

void TAbArchive::DoItemFailure(TAbArchiveItem& item, TAbItemOperation operation,
                               TAbFailureKind kind, int32_t errorNumber) {
  if (OnItemFailure) OnItemFailure(*this, item, operation, kind, errorNumber);
}

void TAbArchive::DoOverallProgress(uint8_t percent, bool& abort) {
  if (OnOverallProgress) OnOverallProgress(*this, percent, abort);
}

void TAbArchive::DoConfirmItem(TAbArchiveItem& item, TAbItemOperation operation, bool& confirm) {
  if (OnConfirmItem) OnConfirmItem(*this, item, operation, confirm);
}

void TAbArchive::ReportItemProgress(uint8_t percent, bool& abort) {
  abort = false;
  if (OnItemProgress && activeItem_ != nullptr) OnItemProgress(*this, *activeItem_, percent, abort);
}

void TAbArchive::ReportInflateProgress(int32_t percent) {
  bool abort = false;
  ReportItemProgress(static_cast<uint8_t>(percent), abort);
  if (abort) throw EAbAbortProgress();
}

}  // namespace ab
