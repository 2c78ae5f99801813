// The archive object's common part: the catalogue items and their name index,
// loading, the base folder, the lock and the extraction driver, which picks
// items by mask lists and hands each to the archive type's per-item step.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "os/os.h"
#include "rtl/Stream.h"
#include "zip/engine/AbExcept.h"
#include "zip/engine/AbMemberChain.h"

namespace ab {

enum TAbArchiveState : uint8_t { stInvalid = 0, stIdle = 1, stBusy = 2 };
enum TAbPendingAction : uint8_t { paNone = 1, paDelete = 3 };
// The work an item event is about; extraction is the only one produced here.
enum TAbItemOperation : uint8_t { opExtract = 2 };
// UnpackFlags bits, read by the member decoder.
enum TAbUnpackFlag : uint8_t { ufCreateFolders = 0x01, ufRestorePath = 0x02 };

class TAbArchive;
class TAbArchiveList;

class TAbArchiveItem {
 public:
  TAbArchiveItem() = default;
  virtual ~TAbArchiveItem() = default;
  TAbArchiveItem(const TAbArchiveItem&) = delete;
  TAbArchiveItem& operator=(const TAbArchiveItem&) = delete;

  virtual uint32_t CompressedSize() const { return compressedSize_; }
  virtual uint32_t Crc32() const { return crc32_; }
  virtual uint32_t ExternalFileAttributes() const { return externalFileAttributes_; }
  // The name in the program's code page, as the archive type decoded it.
  virtual const std::string& ItemName() const { return fileName_; }
  virtual bool IsEncrypted() const { return isEncrypted_; }
  virtual uint16_t LastModFileDate() const { return lastModFileDate_; }
  virtual uint16_t LastModFileTime() const { return lastModFileTime_; }
  virtual uint32_t UncompressedSize() const { return uncompressedSize_; }

  // ItemName with every `/` turned into `\`.
  const std::string& DiskName() const { return diskName_; }
  TAbPendingAction PendingAction() const { return pendingAction_; }
  void SetPendingAction(TAbPendingAction action) { pendingAction_ = action; }
  bool Tagged() const { return tagged_; }
  void SetTagged(bool value) { tagged_ = value; }

  // Whether the name matches any mask of a `;`-separated list (an empty list
  // matches nothing; an empty piece matches only folder entries).
  bool MatchesMaskList(const std::string& masks) const;
  // Whether the name matches one mask; a drive in the mask is ignored.
  bool MatchesMask(const std::string& mask) const;

 protected:
  // Sets the name and DiskName.
  void SetItemName(std::string name);

 private:
  friend class TAbArchiveList;
  TAbArchiveItem* nextInBucket_ = nullptr;
  int32_t listIndex_ = -1;
  TAbPendingAction pendingAction_ = paNone;
  uint32_t compressedSize_ = 0;
  uint32_t crc32_ = 0;
  std::string diskName_;
  uint32_t externalFileAttributes_ = 0;
  std::string fileName_;
  bool isEncrypted_ = false;
  uint16_t lastModFileTime_ = 0;
  uint16_t lastModFileDate_ = 0;
  bool tagged_ = false;
  uint32_t uncompressedSize_ = 0;
};

// The catalogue in directory order with an index by name: 1021 buckets of
// items chained by name hash, so that a lookup touches only its bucket. The
// list owns its items.
class TAbArchiveList {
 public:
  static constexpr uint32_t kBucketCount = 1021;

  TAbArchiveList();
  ~TAbArchiveList();
  TAbArchiveList(const TAbArchiveList&) = delete;
  TAbArchiveList& operator=(const TAbArchiveList&) = delete;

  // Appends the item and puts it at the head of its bucket; returns its index.
  int32_t AppendItem(std::unique_ptr<TAbArchiveItem> item);
  // The index of the item last added under the name (ASCII case ignored), or -1.
  int32_t FindByName(const std::string& name) const;
  // Whether an item of that name is not marked for deletion.
  bool HasLiveName(const std::string& name) const;
  // Unchains, frees and removes the item; EListError for a bad index.
  void DeleteItem(int32_t index);
  // Frees every item and empties the index.
  void ClearItems();

  int32_t Count() const { return static_cast<int32_t>(items_.size()); }
  // EListError ("List index out of bounds (%d)") for a bad index.
  TAbArchiveItem& Item(int32_t index) const;

  // The bucket of a name: ELF hash of the upper-cased name, modulo 1021.
  static uint32_t BucketOf(const std::string& name);

 private:
  std::vector<std::unique_ptr<TAbArchiveItem>> items_;
  std::array<TAbArchiveItem*, kBucketCount> buckets_{};
};

// The archive's lock: a re-entrant critical section that is entered only once
// the process runs more than one thread.
class TAbPadLock {
 public:
  void Lock();
  void Unlock();
  int32_t Count() const { return count_; }

 private:
  int32_t count_ = 0;
  os::CriticalSection section_;
};

using TAbItemFailureEvent =
    std::function<void(TAbArchive& sender, TAbArchiveItem& item, TAbItemOperation operation,
                       TAbFailureKind kind, int32_t errorNumber)>;
using TAbArchiveProgressEvent =
    std::function<void(TAbArchive& sender, uint8_t percent, bool& abort)>;
using TAbItemProgressEvent =
    std::function<void(TAbArchive& sender, TAbArchiveItem& item, uint8_t percent, bool& abort)>;
using TAbConfirmItemEvent = std::function<void(TAbArchive& sender, TAbArchiveItem& item,
                                               TAbItemOperation operation, bool& confirm)>;
using TAbArchiveEvent = std::function<void(TAbArchive& sender)>;
using TAbOverwriteQueryEvent = std::function<void(std::string& name, bool& confirm)>;

// Whether path names an existing folder; a path with `*` or `?` never does.
bool FolderExists(const std::string& path);

// Creates a folder and each missing folder above it, outermost first, and
// says whether that went well. The walk starts below what the path stands on,
// which is never created: the text before its first `\` (a drive such as C:,
// or the first folder of a relative path), or the server and share of a
// network path (any path that holds `\\`). A failed creation ends the walk
// with its reason in os::LastError().
bool CreateFolderChain(const std::string& folder);

class TAbArchive {
 public:
  virtual ~TAbArchive();
  TAbArchive(const TAbArchive&) = delete;
  TAbArchive& operator=(const TAbArchive&) = delete;

  // Reads the catalogue; the state is stIdle afterwards unless the file was
  // refused as no archive, or loading was aborted (then stInvalid).
  void LoadCatalogue();

  int32_t ItemCount() const { return items_.Count(); }
  TAbArchiveItem& Item(int32_t index) const { return items_.Item(index); }
  TAbArchiveList& Items() { return items_; }
  const TAbArchiveList& Items() const { return items_; }

  // Extracts the items matching the file masks and none of the exclusion
  // masks, in catalogue order. A failing item is reported to OnItemFailure
  // and the next is tried.
  void ExtractMatching(const std::string& masks);
  void ExtractMatchingExcept(const std::string& masks, const std::string& exceptMasks);
  // Extracts one item, under newName or (when empty) its own name.
  void ExtractItem(int32_t index, const std::string& newName);

  // Stores a folder (one trailing `\` dropped unless it is a root such as
  // C:\); EAbNoSuchDirectory when a non-empty path is no existing folder.
  void SetBaseFolder(const std::string& path);
  const std::string& BaseFolder() const { return baseFolder_; }

  // EAbNoArchive when the archive is stInvalid.
  void CheckOpen() const;
  void Lock();
  void Unlock();

  // For the member decoder while it writes ActiveItem.
  void ReportItemProgress(uint8_t percent, bool& abort);
  // EAbAbortProgress when the handler asks to stop.
  void ReportInflateProgress(int32_t percent);

  TAbArchiveState State() const { return state_; }
  void SetState(TAbArchiveState state) { state_ = state; }
  const std::string& FileName() const { return fileName_; }
  rtl::TStream& Stream() { return *stream_; }
  TAbArchiveItem* ActiveItem() const { return activeItem_; }
  uint8_t UnpackFlags() const { return unpackFlags_; }
  void SetUnpackFlags(uint8_t flags) { unpackFlags_ = flags; }
  uint16_t OpenMode() const { return openMode_; }

  // Events; an empty one is not set and its default answer is used.
  TAbItemFailureEvent OnItemFailure;
  TAbArchiveProgressEvent OnOverallProgress;
  TAbItemProgressEvent OnItemProgress;
  TAbConfirmItemEvent OnConfirmItem;
  TAbArchiveEvent OnCatalogueLoaded;
  TAbOverwriteQueryEvent OnOverwriteQuery;
  // Bound to ReportItemProgress when the archive is created.
  TAbProgressForwarder ItemProgressForwarder;

 protected:
  // Opens fileName (a full path) as the archive's stream with the open mode.
  TAbArchive(const std::string& fileName, uint16_t mode);
  // Reads from a stream the caller has opened (fileName only names it).
  TAbArchive(std::unique_ptr<rtl::TStream> stream, const std::string& fileName);

  virtual void ReadCatalogue() = 0;
  virtual void ExtractItemData(int32_t index, const std::string& name) = 0;

  void DoItemFailure(TAbArchiveItem& item, TAbItemOperation operation, TAbFailureKind kind,
                     int32_t errorNumber);
  void DoOverallProgress(uint8_t percent, bool& abort);
  void DoConfirmItem(TAbArchiveItem& item, TAbItemOperation operation, bool& confirm);

  // Puts stream in place of the archive's stream and gives back the old one.
  std::unique_ptr<rtl::TStream> ExchangeStream(std::unique_ptr<rtl::TStream> stream) {
    stream_.swap(stream);
    return stream;
  }
  bool RemovableMedia() const { return mediaType_ == 0; }

 private:
  void Initialise();

  std::unique_ptr<rtl::TStream> stream_;
  TAbArchiveState state_ = stInvalid;
  std::string fileName_;
  std::string baseFolder_;
  TAbArchiveItem* activeItem_ = nullptr;
  uint8_t unpackFlags_ = 0;
  TAbArchiveList items_;
  uint16_t openMode_ = 0;
  uint8_t mediaType_ = 1;
  TAbPadLock lock_;
};

}  // namespace ab
