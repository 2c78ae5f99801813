// Each chosen member goes through three steps, in catalogue order:
//   plan    where it lands (its Unicode name split and made legal) and whether
//           it may be written there (what is on disk, what this run already
//           wrote there, the overwrite rules);
//   decode  a file into a temporary file in its folder, a link's target into
//           memory, everything into the bit bucket for -t;
//   commit  times and mode, then one rename into place: only a member that
//           decoded whole replaces what was there.
// Folders get their stored times at the end, deepest first, once everything
// inside them is written.
//
// With more than one thread, workers decode files (and members under test)
// while this thread plans the next members; each decoded member is committed
// here, in catalogue order, so that files, messages and the exit code are
// those of one thread. Whatever speaks to the user before its turn (a
// question, a warning, a password, a failure found while planning) first
// commits every member before it, and so does whatever needs the files of
// earlier members in place (-f, -u, a second member for one file).
#include "Extraction.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <utility>

#include "DecodeWorkers.h"
#include "ExitCodes.h"
#include "Links.h"
#include "Listing.h"
#include "MemberFacts.h"
#include "Names.h"
#include "Refresh.h"
#include "Targets.h"
#include "archive/AbBufRd.h"
#include "archive/AbExcept.h"
#include "archive/AbUnzMember.h"
#include "archive/AbUnzParallel.h"
#include "os/fs.h"
#include "os/os.h"

namespace tunzip {

namespace {

using Clock = std::chrono::steady_clock;
using os::fs::FileTime;

// No file system takes a link target longer than this.
constexpr uint64_t kLinkTargetLimit = 4096;
// Members smaller than this are decoded on the main thread: handing one to a
// worker and committing it costs more than decoding it (20,000 files of a few
// bytes extract a third slower through the workers than without them).
constexpr uint64_t kSmallestHandOff = 64 * 1024;
// Members in flight per worker at most. A member waits for the ones before
// it to be committed, so that one large member would stall the other workers
// if only a few could pass it; each one in flight holds no more than an open
// file.
constexpr size_t kInFlightPerWorker = 16;

// A member large enough for the parallel Inflate is decoded on this thread
// once the members in flight are committed, on every thread allowed, and
// never beside a worker's member: so no more threads decode at once than
// --threads says, and the large member, which weighs most, has them all.
bool DecodesOnItsOwnThreads(const ab::TAbZipItem& item) {
  const uint8_t method = item.CompressionMethod();
  return !item.IsEncrypted() && (method == 8 || method == 9) &&
         item.CompressedSize64() >= ab::kParallelInflateFrom;
}

// A decode that has already run on this thread, as a worker's would be seen.
std::future<void> DecodedHere(const std::function<void()>& decode) {
  std::promise<void> done;
  try {
    decode();
    done.set_value();
  } catch (...) {
    done.set_exception(std::current_exception());
  }
  return done.get_future();
}

// The decoder's output, written into a file that is not yet in place.
class PendingFileStream : public rtl::TStream {
 public:
  explicit PendingFileStream(os::fs::PendingFile& file) : file_(file) {}

  int32_t Read(void*, int32_t) override { return 0; }
  int32_t Write(const void* buffer, int32_t count) override {
    if (count <= 0) return 0;
    if (!file_.Write(buffer, static_cast<size_t>(count))) {
      reason_ = os::fs::LastErrorText();
      throw rtl::EWriteError();
    }
    size_ += count;
    return count;
  }
  // The decoders only ask where the output stands.
  int64_t Seek(int64_t offset, int origin) override {
    if (offset == 0 && origin != rtl::soBeginning) return size_;
    return origin == rtl::soBeginning && offset == size_ ? size_ : -1;
  }
  int64_t Size() override { return size_; }
  // Why the last write failed, in the system's words.
  const std::string& Reason() const { return reason_; }

 private:
  os::fs::PendingFile& file_;
  int64_t size_ = 0;
  std::string reason_;
};

// The folders of a member that cannot be made: UnZip's "checkdir error",
// which a script tells from a file that cannot be created by its exit code.
[[noreturn]] void FailFolders(const Target& target) {
  std::string folder;
  for (const std::string& name : target.folder) folder += (folder.empty() ? "" : "/") + name;
  throw rtl::EInOutError(
      0, "cannot create the folder " + ShownName(folder) + ": " + os::fs::LastErrorText());
}

// A folder member's stored time and mode, set once its contents are written.
struct FolderStamp {
  os::fs::Components path;
  FileTime modified;
  std::optional<FileTime> accessed;
  std::optional<uint32_t> mode;
};

class Extractor {
 public:
  Extractor(ab::TAbZipArchive& archive, const Options& options, std::ostream& out,
            std::ostream& err)
      : archive_(archive),
        options_(options),
        out_(out),
        err_(err),
        testing_(options.mode == Mode::kTest),
        progressLine_(!options.quiet && os::IsTerminal(1)),
        askUser_(os::IsTerminal(0)),
        status_(options.havePassword || askUser_),
        planner_(options.junkPaths) {}

  int Run();

 private:
  // A member handed to a worker, committed when its turn comes.
  struct InFlight {
    ab::TAbZipItem* item = nullptr;
    int32_t index = 0;
    Target target;
    std::unique_ptr<os::fs::PendingFile> file;  // none when testing
    std::unique_ptr<rtl::TStream> output;       // the file's stream, or a bit bucket
    bool folder = false;                        // a folder made, to be announced
    std::future<void> decoded;
  };

  void StartWorkers(const std::vector<int32_t>& items);
  bool HandOff(ab::TAbZipItem& item, const Target& target,
               std::unique_ptr<os::fs::PendingFile>& file);
  void CommitOldest();
  void Drain();
  void Handle(ab::TAbZipItem& item);
  bool Refreshes(const ab::TAbZipItem& item, const Target& target, bool isFolder);
  bool Admit(Target& target, bool isFolder);
  char AskOverwrite(const std::string& shown);
  bool AvoidsShortAliases(const Target& target);
  void WarnDeviceNames(const Target& target);
  void TestMember(ab::TAbZipItem& item);
  // False when the folder waits in flight to be announced.
  bool WriteFolder(ab::TAbZipItem& item, const Target& target);
  void RecordFolder(const ab::TAbZipItem& item, const Target& target);
  bool CanPassInFlight() const;
  // A new member in flight behind the others, once there is room for it.
  InFlight& PutInFlight(ab::TAbZipItem& item, const Target& target);
  void WriteLink(ab::TAbZipItem& item, const Target& target);
  // False when the member went to a worker and is committed later.
  bool WriteFile(ab::TAbZipItem& item, const Target& target);
  void FinishFile(const ab::TAbZipItem& item, const Target& target, os::fs::PendingFile& file);
  void ReportTested();
  // Where this thread reads a member from: a small one through one buffered
  // view of the archive kept across members, since its header and data would
  // otherwise cost a seek and three reads, most of testing an archive of
  // many small files; a large one straight from the archive, its reads being
  // large already.
  ab::TAbMemberSource SourceHere(const ab::TAbZipItem& item,
                                 const ab::TAbProgressForwarder& progress);
  // Where a member decoded on this thread reports its progress: nowhere
  // unless a progress line shows it. Reporting is work of its own: Implode
  // flushes its output before every byte it reads back while it reports.
  ab::TAbProgressForwarder MemberProgress() const {
    return progressLine_ ? archive_.ItemProgressForwarder : nullptr;
  }
  void StampFolders();
  void Announce(const char* verb, const std::string& suffix = "");
  void Fail(const std::exception& error, const std::string& reason = "");
  void Warn(const std::string& message);
  void AskPassword(std::string& password);
  void ShowProgress(uint8_t percent);
  void EndProgressLine();

  ab::TAbZipArchive& archive_;
  const Options& options_;
  std::ostream& out_;
  std::ostream& err_;
  const bool testing_;
  const bool progressLine_;
  const bool askUser_;
  ExitStatus status_;
  TargetPlanner planner_;
  std::unique_ptr<os::fs::Tree> tree_;
  std::unique_ptr<LinkGuard> links_;
  std::vector<FolderStamp> folders_;
  bool replaceAll_ = false;
  bool replaceNone_ = false;
  std::string writeFailure_;  // why the file system refused the last write
  std::unique_ptr<ab::TAbBufferedReader> smallMembers_;

  const ab::TAbZipItem* current_ = nullptr;
  int32_t currentIndex_ = 0;
  int failed_ = 0;
  uint64_t bytesDone_ = 0;
  uint64_t bytesTotal_ = 0;
  Clock::time_point started_ = Clock::now();

  // Declared after the members in flight: the workers stop before the files
  // they write into are closed.
  std::deque<InFlight> inFlight_;
  uint64_t handOffs_ = 0;
  std::unique_ptr<DecodeWorkers> workers_;
};

int Extractor::Run() {
  const Choice choice = ChooseMembers(archive_, options_);
  for (const std::string& mask : choice.unmatchedMasks) {
    err_ << "caution: filename not matched:  " << mask << '\n';
    status_.Raise(kExitNoMatch);
  }
  for (int32_t index : choice.items) bytesTotal_ += archive_.Item(index).UncompressedSize64();

  if (!testing_) {
    if (!os::fs::MakeFolders(options_.targetShown) ||
        !(tree_ = os::fs::Tree::Open(options_.targetShown))) {
      err_ << "tunzip: " << options_.targetShown
           << ": cannot create the folder: " << os::fs::LastErrorText() << '\n';
      return kExitSevereFormatError;
    }
    links_ = std::make_unique<LinkGuard>(*tree_);
  }
  if (options_.havePassword) archive_.SetArchivePassword(options_.password);
  if (askUser_) {
    archive_.OnPasswordRequest = [this](void*, std::string& password) { AskPassword(password); };
  }
  archive_.OnItemProgress = [this](ab::TAbArchive&, ab::TAbArchiveItem&, uint8_t percent, bool&) {
    ShowProgress(percent);
  };
  archive_.ExtractHook = [this](ab::TAbZipArchive&, ab::TAbZipItem& item, const std::string&) {
    Handle(item);
  };
  StartWorkers(choice.items);

  for (int32_t index : choice.items) {
    if (archive_.State() == ab::stInvalid) {
      Drain();
      EndProgressLine();
      err_ << "tunzip: " << options_.archiveShown << ": stopped at the user's request\n";
      status_.Raise(kExitUserAbort);
      break;
    }
    current_ = &archive_.Item(index);
    currentIndex_ = index;
    const uint64_t handedOff = handOffs_;
    archive_.ExtractItem(index, "");
    // A member handed to a worker counts once it is committed.
    if (handOffs_ == handedOff) bytesDone_ += current_->UncompressedSize();
  }
  Drain();
  workers_.reset();
  if (tree_) StampFolders();
  EndProgressLine();
  if (testing_ && !options_.quiet) {
    if (failed_ == 0) {
      out_ << "No errors detected in compressed data of " << options_.archiveShown << ".\n";
    } else {
      out_ << failed_ << " member" << (failed_ == 1 ? "" : "s") << " failed in "
           << options_.archiveShown << ".\n";
    }
  }
  return status_.Code();
}

// Workers when more than one thread is asked for and more than one member
// is large enough for one, each with the archive opened anew; none when the
// archive spans several files or cannot be opened again as the same file.
void Extractor::StartWorkers(const std::vector<int32_t>& items) {
  // Only members a worker would take count: one alone gains nothing from
  // threads that cost their start and their own buffers.
  const size_t members =
      static_cast<size_t>(std::count_if(items.begin(), items.end(), [&](int32_t i) {
        const ab::TAbZipItem& item = archive_.Item(i);
        return !item.IsEncrypted() && item.CompressedSize64() >= kSmallestHandOff &&
               !DecodesOnItsOwnThreads(item);
      }));
  const size_t count = std::min<size_t>(ThreadsAllowed(options_), members);
  if (count < 2 || archive_.MultiPart()) return;
  try {
    // The workers only read the archive once the spans are known.
    archive_.CheckMemberSpans();
  } catch (const std::exception&) {
    return;  // the first member's decode reports it, on this thread
  }
  const int64_t size = archive_.Stream().Size();
  std::vector<std::unique_ptr<rtl::TStream>> sources;
  for (size_t i = 0; i < count; ++i) {
    os::FileHandle handle = os::fs::OpenRead(options_.archiveShown);
    if (!handle.Valid()) break;
    auto stream = std::make_unique<rtl::TFileStream>(std::move(handle), archive_.FileName());
    if (stream->Size() != size) break;
    sources.push_back(std::move(stream));
  }
  if (sources.size() >= 2) workers_ = std::make_unique<DecodeWorkers>(std::move(sources));
}

// Puts the member in flight, to be committed in its turn: decoded by a
// worker, or, when it is too small to gain from one, decoded here at once
// while the workers go on with the members before it. Not when there are no
// workers, nor for a member that may ask for a password, which only this
// thread can do; a small member waits for no one when nothing is in flight,
// nor while a progress line shows the member this thread decodes. A few
// members per worker wait at most, so that open files and memory stay
// bounded.
bool Extractor::HandOff(ab::TAbZipItem& item, const Target& target,
                        std::unique_ptr<os::fs::PendingFile>& file) {
  if (!workers_ || item.IsEncrypted() || DecodesOnItsOwnThreads(item)) return false;
  const bool here = item.IsFolder() || item.CompressedSize64() < kSmallestHandOff;
  if (here && !CanPassInFlight()) return false;
  InFlight& job = PutInFlight(item, target);
  if (file) {
    job.output = std::make_unique<PendingFileStream>(*file);
    job.file = std::move(file);
  } else {
    job.output = std::make_unique<ab::TAbBitBucketStream>();
  }
  if (here) {
    job.decoded = DecodedHere([this, &item, output = job.output.get()] {
      if (!item.IsFolder())
        ab::DecodeMemberToStream(archive_, item, output, SourceHere(item, nullptr));
    });
  } else {
    job.decoded =
        workers_->Hand([this, &item, output = job.output.get()](const ab::TAbMemberSource& source) {
          ab::DecodeMemberToStream(archive_, item, output, source);
        });
  }
  return true;
}

// Whether a member done on this thread may go in flight behind the ones
// there: only when some are (else it is simply done now), and not while a
// progress line shows the member this thread works on.
bool Extractor::CanPassInFlight() const {
  return workers_ && !inFlight_.empty() && !progressLine_;
}

Extractor::InFlight& Extractor::PutInFlight(ab::TAbZipItem& item, const Target& target) {
  while (inFlight_.size() >= kInFlightPerWorker * workers_->Count()) CommitOldest();
  InFlight& job = inFlight_.emplace_back();
  job.item = &item;
  job.index = currentIndex_;
  job.target = target;
  ++handOffs_;
  return job;
}

// Waits for the oldest member in flight and commits it as the one thread
// would have: times, mode and rename, or its failure, and its message.
void Extractor::CommitOldest() {
  InFlight job = std::move(inFlight_.front());
  inFlight_.pop_front();
  const ab::TAbZipItem* planned = std::exchange(current_, job.item);
  const int32_t plannedIndex = std::exchange(currentIndex_, job.index);
  try {
    try {
      job.decoded.get();
    } catch (const rtl::EWriteError&) {
      if (job.file) writeFailure_ = static_cast<PendingFileStream&>(*job.output).Reason();
      throw;
    }
    if (job.folder) {
      RecordFolder(*job.item, job.target);
    } else if (job.file) {
      FinishFile(*job.item, job.target, *job.file);
    } else {
      ReportTested();
    }
    status_.Succeeded();
  } catch (const std::exception& error) {
    Fail(error, std::exchange(writeFailure_, ""));
  }
  ShowProgress(100);
  bytesDone_ += job.item->UncompressedSize();
  current_ = planned;
  currentIndex_ = plannedIndex;
}

void Extractor::Drain() {
  while (!inFlight_.empty()) CommitOldest();
}

void Extractor::Handle(ab::TAbZipItem& item) {
  // A failure is reported here and goes no further: the next member follows.
  try {
    if (item.ExtraFieldPartLost()) {
      Drain();
      Warn("damaged extra field: its times, attributes or comment are ignored");
    }
    if (testing_) {
      std::unique_ptr<os::fs::PendingFile> none;
      if (!HandOff(item, {}, none)) TestMember(item);
      return;
    }
    // Nothing can be written under no name, and guessing one could hit
    // another member's file.
    if (item.UnicodeName().empty())
      throw ab::EAbZipException("the member has no name to be written under");
    Target target = planner_.Place(item);
    const bool isFolder = item.IsFolder();
    if (isFolder && options_.junkPaths) return;
    if (!Refreshes(item, target, isFolder) || !Admit(target, isFolder) ||
        !AvoidsShortAliases(target))
      return;
    WarnDeviceNames(target);
    if (isFolder) {
      if (!WriteFolder(item, target)) return;
    } else if (item.IsSymbolicLink() && os::fs::KeepsUnixMetadata()) {
      WriteLink(item, target);
    } else if (!WriteFile(item, target)) {
      return;
    }
    status_.Succeeded();
  } catch (const std::exception& error) {
    const std::string reason = std::exchange(writeFailure_, "");
    Drain();
    Fail(error, reason);
  }
}

// -f and -u: whether the member may replace, or add, the file at target.
bool Extractor::Refreshes(const ab::TAbZipItem& item, const Target& target, bool isFolder) {
  if (options_.refresh == Refresh::kAll) return true;
  // Freshening adds nothing, folders included.
  if (isFolder) return options_.refresh != Refresh::kFreshen;
  // The file may be an earlier member's, still in flight.
  Drain();
  std::optional<int64_t> fileTime;
  if (tree_->KindOf(target.Path()) == os::fs::Kind::kFile) {
    if (const auto onDisk = os::fs::ModifiedTime(options_.targetShown + "/" + target.Shown()))
      fileTime = onDisk->seconds;
  }
  return DecideRefresh(options_.refresh, MemberTimeOf(item), fileTime) == RefreshVerdict::kWrite;
}

// The plan's last word: whether the member may be written at target (which a
// rename typed by the user may change). This is where an existing file, or
// one this run wrote before, meets the overwrite rules.
bool Extractor::Admit(Target& target, bool isFolder) {
  if (isFolder) return true;
  // A short name may be another name of an earlier member's file, which the
  // file system tells only once that file is in place.
  if (HasShortNameForm(target.leaf)) Drain();
  for (;;) {
    bool claimed = planner_.ClaimedBefore(target, *tree_);
    // The earlier member's file in place first, as one thread would have it.
    if (claimed) Drain();
    const os::fs::Kind onDisk = tree_->KindOf(target.Path());
    if (onDisk == os::fs::Kind::kFolder)
      throw rtl::EFCreateError(target.Shown() + ": a folder of that name is in the way");
    // Nothing there to overwrite: writing it says why it cannot be written.
    if (onDisk == os::fs::Kind::kUnreachable) return true;
    // A file of this run reached under another of its names.
    if (!claimed && onDisk == os::fs::Kind::kFile)
      claimed = planner_.MadeBefore(tree_->IdentityOf(target.Path()), *tree_);
    if (!claimed && onDisk == os::fs::Kind::kMissing) return true;
    // What follows may speak to the user: the members before go first.
    Drain();
    // Two members for one file are never merged silently; an existing file
    // is left alone quietly only when -n asks for that.
    const std::string why = claimed ? "another member of this archive was written there" : "exists";
    char answer = 'n';
    if (options_.overwrite == Overwrite::kAlways || replaceAll_) {
      answer = 'y';
    } else if (options_.overwrite == Overwrite::kNever || replaceNone_) {
      if (claimed) Warn(why + ", this member skipped");
      return false;
    } else if (askUser_) {
      answer = AskOverwrite(target.Shown());
    } else {
      // -n quiets only the files that were there before the run.
      Warn(why + (claimed ? ", not overwritten (use -o to overwrite it)"
                          : ", not overwritten (use -o to overwrite, -n to skip quietly)"));
      return false;
    }
    if (answer == 'y') return true;
    if (answer == 'n') return false;
    err_ << "new name: " << std::flush;
    const std::optional<std::string> renamed = os::ReadConsoleLineUtf8(true);
    if (!renamed || renamed->empty()) return false;
    target.leaf = os::fs::LegalName(*renamed);
  }
}

// A short name that is another name of something on disk would write into
// or over that, which the member does not name: the member is skipped. Any
// such file of this run was put in place by Admit.
bool Extractor::AvoidsShortAliases(const Target& target) {
  const os::fs::Components path = target.Path();
  for (size_t i = 0; i < path.size(); ++i) {
    if (!HasShortNameForm(path[i])) continue;
    const os::fs::Components named(path.begin(), path.begin() + static_cast<ptrdiff_t>(i) + 1);
    const std::optional<std::string> stored = tree_->StoredName(named);
    if (!stored || os::fs::NameKey(*stored) == os::fs::NameKey(path[i])) continue;
    Drain();
    Warn(ShownUtf8Name(path[i]) + " is the short name of " + ShownUtf8Name(*stored) +
         ", this member skipped");
    return false;
  }
  return true;
}

// A name the system would open as a device is written under another name,
// and the user is told which.
void Extractor::WarnDeviceNames(const Target& target) {
  if (target.deviceNames.empty()) return;
  Drain();
  for (const std::string& name : target.deviceNames)
    Warn(ShownUtf8Name(name) + " is a device name: written as " +
         ShownUtf8Name(os::fs::LegalName(name)));
}

char Extractor::AskOverwrite(const std::string& shown) {
  EndProgressLine();
  for (;;) {
    err_ << "replace " << ShownName(shown)
         << "? [y]es, [n]o, [A]ll, [N]one, [r]ename: " << std::flush;
    const std::optional<std::string> line = os::ReadConsoleLineUtf8(true);
    if (!line) return 'n';
    const char c = line->empty() ? '\0' : (*line)[0];
    if (c == 'y' || c == 'n' || c == 'r') return c;
    if (c == 'A') {
      replaceAll_ = true;
      return 'y';
    }
    if (c == 'N') {
      replaceNone_ = true;
      return 'n';
    }
  }
}

void Extractor::TestMember(ab::TAbZipItem& item) {
  Drain();
  if (!item.IsFolder()) {
    ab::TAbBitBucketStream bucket;
    ab::DecodeMemberToStream(archive_, item, &bucket, SourceHere(item, MemberProgress()));
  }
  status_.Succeeded();
  ReportTested();
}

ab::TAbMemberSource Extractor::SourceHere(const ab::TAbZipItem& item,
                                          const ab::TAbProgressForwarder& progress) {
  if (item.CompressedSize64() >= ab::TAbBufferedReader::kBlockSize)
    return {archive_.Stream(), progress, ThreadsAllowed(options_)};
  if (!smallMembers_) smallMembers_ = std::make_unique<ab::TAbBufferedReader>(archive_.Stream());
  return {*smallMembers_, progress};
}

void Extractor::ReportTested() {
  if (!progressLine_ && !options_.quiet)
    out_ << "    testing: " << ShownMemberName(*current_, currentIndex_) << "   OK\n";
}

bool Extractor::WriteFolder(ab::TAbZipItem& item, const Target& target) {
  if (target.folder.empty()) return true;  // the target folder itself
  if (!tree_->MakeFolders(target.folder)) FailFolders(target);
  // Made now, for the members after it; announced in its turn.
  if (CanPassInFlight()) {
    InFlight& job = PutInFlight(item, target);
    job.folder = true;
    job.decoded = DecodedHere([] {});
    return false;
  }
  Drain();
  RecordFolder(item, target);
  return true;
}

void Extractor::RecordFolder(const ab::TAbZipItem& item, const Target& target) {
  folders_.push_back({target.folder, ModifiedTimeOf(item), AccessedTimeOf(item),
                      PermissionsOf(item, options_.keepSpecialBits)});
  Announce("   creating: ");
}

void Extractor::WriteLink(ab::TAbZipItem& item, const Target& target) {
  Drain();
  if (item.UncompressedSize64() > kLinkTargetLimit)
    throw ab::EAbException("symbolic link target longer than any file system takes");
  rtl::TMemoryStream data;
  ab::DecodeMemberToStream(archive_, item, &data, SourceHere(item, MemberProgress()));
  const std::string linkTarget(data.Bytes().begin(), data.Bytes().end());
  const std::string refusal = linkTarget.find('\0') != std::string::npos
                                  ? "it holds a NUL character"
                                  : links_->Refusal(target.Path(), linkTarget);
  if (!refusal.empty())
    throw ab::EAbException("symbolic link to " + ShownName(linkTarget) + " refused: " + refusal);
  if (!tree_->MakeFolders(target.folder)) FailFolders(target);
  if (!tree_->MakeLink(target.Path(), linkTarget))
    throw rtl::EFCreateError(target.Shown() + ": " + os::fs::LastErrorText());
  links_->Made();
  // Times of the link itself; a system that cannot set them loses nothing.
  tree_->SetTimes(target.Path(), ModifiedTimeOf(item), AccessedTimeOf(item));
  Announce("    linking: ", " -> " + ShownName(linkTarget));
}

bool Extractor::WriteFile(ab::TAbZipItem& item, const Target& target) {
  if (!tree_->MakeFolders(target.folder)) FailFolders(target);
  std::unique_ptr<os::fs::PendingFile> file = tree_->CreateTemporary(target.folder);
  if (!file) throw rtl::EFCreateError(target.Shown() + ": " + os::fs::LastErrorText());
  if (HandOff(item, target, file)) return false;
  Drain();
  PendingFileStream stream(*file);
  try {
    ab::DecodeMemberToStream(archive_, item, &stream, SourceHere(item, MemberProgress()));
  } catch (const rtl::EWriteError&) {
    writeFailure_ = stream.Reason();
    throw;
  }
  FinishFile(item, target, *file);
  return true;
}

void Extractor::FinishFile(const ab::TAbZipItem& item, const Target& target,
                           os::fs::PendingFile& file) {
  // Destroying the pending file on any failure below removes it.
  const std::optional<uint32_t> mode = PermissionsOf(item, options_.keepSpecialBits);
  const bool stamped = file.SetTimes(ModifiedTimeOf(item), AccessedTimeOf(item)) &&
                       (mode ? file.SetMode(*mode) : file.SetDosAttributes(item.DosAttributes()));
  if (!stamped || !file.Commit(target.leaf))
    throw rtl::EFCreateError(target.Shown() + ": " + os::fs::LastErrorText());
  planner_.Made(target.Path());
  Announce(item.CompressionMethod() == 0 ? " extracting: " : "  inflating: ");
}

void Extractor::StampFolders() {
  // Deepest first: setting a folder's time after its parent's would change
  // the parent's again.
  std::stable_sort(
      folders_.begin(), folders_.end(),
      [](const FolderStamp& a, const FolderStamp& b) { return a.path.size() > b.path.size(); });
  for (const FolderStamp& folder : folders_) {
    const bool stamped = tree_->SetTimes(folder.path, folder.modified, folder.accessed) &&
                         (!folder.mode || tree_->SetMode(folder.path, *folder.mode));
    if (!stamped) {
      std::string shown;
      for (const std::string& name : folder.path) shown += name + "/";
      err_ << "tunzip: " << ShownName(shown) << ": " << os::fs::LastErrorText() << '\n';
      status_.Raise(kExitWarning);
    }
  }
}

void Extractor::Announce(const char* verb, const std::string& suffix) {
  if (progressLine_ || options_.quiet) return;
  out_ << verb << ShownMemberName(*current_, currentIndex_) << suffix << '\n';
}

void Extractor::Fail(const std::exception& error, const std::string& reason) {
  EndProgressLine();
  err_ << "tunzip: " << ShownMemberName(*current_, currentIndex_) << ": "
       << FailureMessage(error, options_.havePassword || askUser_)
       << (reason.empty() ? "" : ": " + reason) << '\n';
  ++failed_;
  status_.Failed(error);
}

void Extractor::Warn(const std::string& message) {
  EndProgressLine();
  err_ << "tunzip: " << ShownMemberName(*current_, currentIndex_) << ": " << message << '\n';
  status_.Raise(kExitWarning);
}

void Extractor::AskPassword(std::string& password) {
  EndProgressLine();
  const std::string name = current_ != nullptr ? ShownMemberName(*current_, currentIndex_) : "";
  err_ << "[" << options_.archiveShown << "] " << name << " password: " << std::flush;
  password = os::ReadConsoleLine(false).value_or("");
}

void Extractor::ShowProgress(uint8_t percent) {
  if (!progressLine_ || current_ == nullptr) return;
  const uint64_t done = bytesDone_ + current_->UncompressedSize() * uint64_t{percent} / 100;
  const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0;
  const int whole = bytesTotal_ == 0 ? 100 : static_cast<int>(done * 100 / bytesTotal_);
  char line[64];
  std::snprintf(line, sizeof line, "%3d%%  %7.1f MB/s  ", whole, rate);
  std::string name = ShownMemberName(*current_, currentIndex_);
  if (name.size() > 50) name = "..." + name.substr(name.size() - 47);
  out_ << '\r' << line << name << "\033[K" << std::flush;
}

void Extractor::EndProgressLine() {
  if (progressLine_) out_ << "\r\033[K" << std::flush;
}

}  // namespace

int ExtractArchive(ab::TAbZipArchive& archive, const Options& options, std::ostream& out,
                   std::ostream& err) {
  Extractor extractor(archive, options, out, err);
  return extractor.Run();
}

}  // namespace tunzip
