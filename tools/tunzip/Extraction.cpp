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
#include <cstdio>
#include <deque>
#include <functional>
#include <future>
#include <optional>
#include <thread>
#include <utility>

#include "DecodeWorkers.h"
#include "ExitCodes.h"
#include "InOrderCommits.h"
#include "Links.h"
#include "Listing.h"
#include "Masks.h"
#include "MemberFacts.h"
#include "Names.h"
#include "OverwritePrompt.h"
#include "Piping.h"
#include "ProgressLine.h"
#include "Refresh.h"
#include "Targets.h"
#include "TextLines.h"
#include "os/fs.h"
#include "os/os.h"
#include "rtl/Exception.h"
#include "zip/Error.h"

namespace tunzip {

namespace {

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

// The folders of a member that cannot be made: UnZip's "checkdir error",
// which a script tells from a file that cannot be created by its exit code.
[[noreturn]] void FailFolders(const Target& target) {
  std::string folder;
  for (const std::string& name : target.folder) folder += (folder.empty() ? "" : "/") + name;
  throw rtl::EInOutError(
      0, "cannot create the folder " + ShownUtf8Name(folder) + ": " + os::fs::LastErrorText());
}

// A folder member's stored time and mode, set once its contents are written.
struct FolderStamp {
  os::fs::Components path;
  FileTime modified;
  std::optional<FileTime> accessed;
  std::optional<uint32_t> mode;
  std::optional<zip::UnixOwner> owner;
};

class Extractor {
 public:
  Extractor(const zip::Archive& archive, const Options& options, std::ostream& out,
            std::ostream& err)
      : Extractor(&archive, nullptr, options, out, err) {}
  Extractor(zip::StreamReader& stream, const Options& options, std::ostream& out,
            std::ostream& err)
      : Extractor(nullptr, &stream, options, out, err) {}

  int Run();

 private:
  Extractor(const zip::Archive* archive, zip::StreamReader* stream, const Options& options,
            std::ostream& out, std::ostream& err)
      : archive_(archive),
        stream_(stream),
        options_(options),
        out_(out),
        err_(err),
        testing_(options.mode == Mode::kTest),
        askUser_(os::IsTerminal(0)),
        status_(options.havePassword || askUser_),
        planner_(options.junkPaths),
        prompt_(options.overwrite, askUser_, err) {
    if (archive_ != nullptr) reader_.emplace(*archive_);
  }

  // Calls handle with each chosen member in order; the masks that chose
  // nothing are said before, or, for a stream, after.
  void Walk(const std::function<void(const zip::Entry&)>& handle);
  void ReportUnmatched(const std::vector<std::string>& masks);
  // Decodes the entry into sink, or tests it without one.
  void Read(const zip::Entry& entry, zip::Sink* sink);
  void StartWorkers();
  bool HandOff(const zip::Entry& entry, const Target& target,
               std::unique_ptr<os::fs::PendingFile>& file);
  // Commits a member that waited for its turn, as the one thread would have:
  // times, mode and rename, or its failure, and its message.
  void Commit(PendingMember& member);
  void Drain() { inFlight_.Drain(); }
  void Handle(const zip::Entry& entry);
  bool Refreshes(const zip::Entry& entry, const Target& target, bool isFolder);
  bool Admit(Target& target, bool isFolder);
  bool AvoidsShortAliases(const Target& target);
  void WarnDeviceNames(const Target& target);
  void TestMember(const zip::Entry& entry);
  // False when the folder waits in flight to be announced.
  bool WriteFolder(const zip::Entry& entry, const Target& target);
  // Its times are set at the end; only a folder this run made is announced.
  void RecordFolder(const zip::Entry& entry, const Target& target, bool made);
  bool CanPassInFlight() const;
  // A new member in flight behind the others, once there is room for it.
  PendingMember& PutInFlight(const zip::Entry& entry, const Target& target);
  void WriteLink(const zip::Entry& entry, const Target& target);
  // False when the member went to a worker and is committed later.
  bool WriteFile(const zip::Entry& entry, const Target& target);
  void FinishFile(const zip::Entry& entry, const Target& target, os::fs::PendingFile& file);
  void ReportTested();
  void StampFolders();
  // -X: gives what was made to the owner the member names, when it names one.
  void RestoreOwner(const std::optional<zip::UnixOwner>& owner, const std::string& shown,
                    const std::function<bool(uint32_t, uint32_t)>& set);
  std::optional<zip::UnixOwner> OwnerOf(const zip::Entry& entry) const {
    return options_.keepOwners ? entry.Owner() : std::nullopt;
  }
  // line: the member as its line shows it, when not just its name.
  void Announce(const char* verb, const std::string& suffix = "", const std::string& line = "");
  void Fail(const std::exception& error, const std::string& reason = "");
  void Warn(const std::string& message);
  void AskPassword(std::string& password);

  // The archive, or the stream its members pass by in.
  const zip::Archive* archive_;
  zip::StreamReader* stream_;
  // This thread's reader of the archive.
  std::optional<zip::Reader> reader_;
  zip::ReadOptions reading_;
  const Options& options_;
  std::ostream& out_;
  std::ostream& err_;
  const bool testing_;
  const bool askUser_;
  ExitStatus status_;
  TargetPlanner planner_;
  std::unique_ptr<os::fs::Tree> tree_;
  std::unique_ptr<LinkGuard> links_;
  std::vector<FolderStamp> folders_;
  OverwritePrompt prompt_;
  std::string writeFailure_;  // why the file system refused the last write

  const zip::Entry* current_ = nullptr;
  int failed_ = 0;
  std::unique_ptr<ProgressLine> progress_;
  std::vector<size_t> chosen_;

  // Declared after the members in flight: the workers stop before the files
  // they write into are closed.
  InOrderCommits inFlight_{[this](PendingMember& member) { Commit(member); }};
  bool workersTried_ = false;
  size_t largeMembersSeen_ = 0;
  std::unique_ptr<DecodeWorkers> workers_;
};

void Extractor::ReportUnmatched(const std::vector<std::string>& masks) {
  for (const std::string& mask : masks) {
    err_ << "caution: filename not matched:  " << mask << '\n';
    status_.Raise(kExitNoMatch);
  }
}

void Extractor::Walk(const std::function<void(const zip::Entry&)>& handle) {
  if (archive_ != nullptr) {
    ForEachChosen(*archive_, chosen_, handle);
    return;
  }
  MemberChoice choice(options_.masks, options_.excludes, options_.caseBlind);
  try {
    while (const zip::Entry* entry = stream_->Next())
      if (choice.Chooses(entry->Name())) handle(*entry);
  } catch (const std::exception& error) {
    Drain();
    progress_->Erase();
    err_ << "tunzip: " << options_.archiveShown << ": " << FailureMessage(error, false) << '\n';
    ++failed_;
    status_.Failed(error);
  }
  ReportUnmatched(choice.UnmatchedMasks());
}

void Extractor::Read(const zip::Entry& entry, zip::Sink* sink) {
  if (stream_ != nullptr) {
    if (sink != nullptr) {
      stream_->Extract(*sink, reading_);
    } else {
      stream_->Test(reading_);
    }
  } else if (sink != nullptr) {
    reader_->Extract(entry, *sink, reading_);
  } else {
    reader_->Test(entry, reading_);
  }
}

int Extractor::Run() {
  size_t count = 0;
  uint64_t bytesTotal = 0;
  // The run's totals cost a walk of the directory: only for a terminal. A
  // stream's are not known before its end.
  const bool onTerminal = options_.quiet == 0 && os::IsTerminal(1);
  if (archive_ != nullptr) {
    Choice choice = ChooseMembers(*archive_, options_);
    ReportUnmatched(choice.unmatchedMasks);
    chosen_ = std::move(choice.items);
    count = chosen_.size();
    if (onTerminal)
      ForEachChosen(*archive_, chosen_,
                    [&bytesTotal](const zip::Entry& entry) { bytesTotal += entry.Size(); });
  }
  progress_ = std::make_unique<ProgressLine>(out_, onTerminal, count, bytesTotal);

  if (!testing_) {
    if (!os::fs::MakeFolders(options_.targetShown) ||
        !(tree_ = os::fs::Tree::Open(options_.targetShown))) {
      err_ << "tunzip: " << options_.targetShown
           << ": cannot create the folder: " << os::fs::LastErrorText() << '\n';
      return kExitSevereFormatError;
    }
    links_ = std::make_unique<LinkGuard>(*tree_);
  }
  if (options_.havePassword) reading_.password = options_.password;
  reading_.threads = ThreadsAllowed(options_);
  if (askUser_) {
    reading_.askPassword = [this](const zip::Entry&) -> std::optional<std::string> {
      std::string password;
      AskPassword(password);
      // What was typed is tried first on the members after this one.
      if (!password.empty()) reading_.password = password;
      return password;
    };
  }
  // Reporting is work of its own: Implode flushes its output before every
  // byte it reads back while it reports.
  if (progress_->Enabled()) {
    reading_.progress = [this](uint8_t percent) {
      progress_->Advance(percent);
      return true;
    };
  }

  Walk([this](const zip::Entry& entry) {
    current_ = &entry;
    const uint64_t handedOff = inFlight_.Added();
    progress_->Start(ShownMemberName(entry), entry.Size());
    Handle(entry);
    // A member handed to a worker counts once it is committed.
    if (inFlight_.Added() == handedOff) progress_->Finish();
  });
  Drain();
  workers_.reset();
  if (tree_) StampFolders();
  progress_->Erase();
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

// Workers, when more than one thread is asked for; each reads the one
// archive with a reader of its own.
void Extractor::StartWorkers() {
  workersTried_ = true;
  const size_t count = ThreadsAllowed(options_);
  // A stream's members are read once, in order, by this thread alone.
  if (count >= 2 && archive_ != nullptr)
    workers_ = std::make_unique<DecodeWorkers>(*archive_, count);
}

// Puts the member in flight, to be committed in its turn: decoded by a
// worker, or, when it is too small to gain from one, decoded here at once
// while the workers go on with the members before it. Not when there are no
// workers, nor for a member that may ask for a password, which only this
// thread can do; a small member waits for no one when nothing is in flight,
// nor while a progress line shows the member this thread decodes. A few
// members per worker wait at most, so that open files and memory stay
// bounded.
bool Extractor::HandOff(const zip::Entry& entry, const Target& target,
                        std::unique_ptr<os::fs::PendingFile>& file) {
  if (entry.IsEncrypted()) return false;
  // A member large enough for the parallel Inflate is decoded on this thread
  // once the members in flight are committed, on every thread allowed, and
  // never beside a worker's member: so no more threads decode at once than
  // --threads says, and the large member, which weighs most, has them all.
  if (zip::DecodesOnSeveralThreads(entry)) {
    Drain();
    return false;
  }
  const bool here = entry.IsFolder() || entry.CompressedSize() < kSmallestHandOff;
  // The first member large enough for a worker is decoded here, with its
  // progress: one alone gains nothing from threads that cost their start
  // and their own buffers. The second starts them.
  if (!here && !workers_ && !workersTried_ && largeMembersSeen_++ > 0) StartWorkers();
  if (!workers_ || (here && !CanPassInFlight())) return false;
  PendingMember& job = PutInFlight(entry, target);
  if (file) {
    job.output = std::make_unique<PendingFileSink>(*file, ConvertsLines(options_, entry));
    job.file = std::move(file);
  }
  // No progress from members in flight: each is reported as it is
  // committed, in catalogue order.
  // The job moves out of its queue when it is committed: the decode keeps
  // its own copy of the entry.
  const auto decode = [entry = job.entry, output = job.output.get()](zip::Reader& reader) {
    if (output != nullptr) {
      reader.Extract(entry, *output);
    } else {
      reader.Test(entry);
    }
  };
  if (here) {
    job.decoded = DecodedHere([this, &decode, folder = entry.IsFolder()] {
      if (!folder) decode(*reader_);
    });
  } else {
    job.decoded = workers_->Hand(decode);
  }
  return true;
}

// Whether a member done on this thread may go in flight behind the ones
// there: only when some are (else it is simply done now), and not while a
// progress line shows the member this thread works on.
bool Extractor::CanPassInFlight() const {
  return workers_ && !inFlight_.Empty() && !progress_->Enabled();
}

PendingMember& Extractor::PutInFlight(const zip::Entry& entry, const Target& target) {
  return inFlight_.Add(entry, target, kInFlightPerWorker * workers_->Count());
}

void Extractor::Commit(PendingMember& job) {
  const zip::Entry* planned = std::exchange(current_, &job.entry);
  try {
    try {
      job.decoded.get();
    } catch (const rtl::EWriteError&) {
      if (job.output) writeFailure_ = job.output->Reason();
      throw;
    }
    if (job.folder) {
      RecordFolder(job.entry, job.target, job.folderMade);
    } else if (job.file) {
      FinishFile(job.entry, job.target, *job.file);
    } else {
      ReportTested();
    }
    status_.Succeeded();
  } catch (const std::exception& error) {
    Fail(error, std::exchange(writeFailure_, ""));
  }
  progress_->Count(job.entry.Size());
  current_ = planned;
}

void Extractor::Handle(const zip::Entry& entry) {
  // A failure is reported here and goes no further: the next member follows.
  try {
    if (entry.ExtraFieldPartLost()) {
      Drain();
      Warn("damaged extra field: its times, attributes or comment are ignored");
    }
    if (testing_) {
      std::unique_ptr<os::fs::PendingFile> none;
      if (!HandOff(entry, {}, none)) TestMember(entry);
      return;
    }
    // Nothing can be written under no name, and guessing one could hit
    // another member's file.
    if (entry.Name().empty())
      throw zip::Error(zip::Failure::kUnsafe, "the member has no name to be written under", "",
                       zip::Cause::kUnsafeName);
    Target target = planner_.Place(entry);
    const bool isFolder = entry.IsFolder();
    // Written below the target folder all the same, which the user is told.
    if (!options_.junkPaths && entry.Name()[0] == '/') {
      Drain();
      Warn("absolute path stripped: written as " + ShownUtf8Name(target.Shown()));
    }
    if (isFolder && options_.junkPaths) return;
    if (!Refreshes(entry, target, isFolder) || !Admit(target, isFolder) ||
        !AvoidsShortAliases(target))
      return;
    WarnDeviceNames(target);
    if (isFolder) {
      if (!WriteFolder(entry, target)) return;
    } else if (entry.IsLink() && os::fs::KeepsUnixMetadata()) {
      WriteLink(entry, target);
    } else if (!WriteFile(entry, target)) {
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
bool Extractor::Refreshes(const zip::Entry& entry, const Target& target, bool isFolder) {
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
  return DecideRefresh(options_.refresh, MemberTimeOf(entry), fileTime) == RefreshVerdict::kWrite;
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
    progress_->Erase();
    std::string newName;
    switch (prompt_.Decide(target.Shown(), newName)) {
      case OverwritePrompt::Answer::kReplace:
        return true;
      case OverwritePrompt::Answer::kDeclined:
        return false;
      case OverwritePrompt::Answer::kKeep:
        // -n quiets only the files that were there before the run.
        if (claimed) Warn(why + ", this member skipped");
        return false;
      case OverwritePrompt::Answer::kNotAsked:
        Warn(why + (claimed ? ", not overwritten (use -o to overwrite it)"
                            : ", not overwritten (use -o to overwrite, -n to skip quietly)"));
        return false;
      case OverwritePrompt::Answer::kRename:
        target.leaf = newName;
        break;
    }
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

void Extractor::TestMember(const zip::Entry& entry) {
  Drain();
  if (!entry.IsFolder()) Read(entry, nullptr);
  status_.Succeeded();
  ReportTested();
}

void Extractor::ReportTested() {
  progress_->Erase();
  if (!options_.quiet) out_ << "    testing: " << ShownMemberName(*current_) << "   OK\n";
}

bool Extractor::WriteFolder(const zip::Entry& entry, const Target& target) {
  if (target.folder.empty()) return true;  // the target folder itself
  const bool made = tree_->KindOf(target.folder) != os::fs::Kind::kFolder;
  if (!tree_->MakeFolders(target.folder)) FailFolders(target);
  // Made now, for the members after it; announced in its turn.
  if (CanPassInFlight()) {
    PendingMember& job = PutInFlight(entry, target);
    job.folder = true;
    job.folderMade = made;
    job.decoded = DecodedHere([] {});
    return false;
  }
  Drain();
  RecordFolder(entry, target, made);
  return true;
}

void Extractor::RecordFolder(const zip::Entry& entry, const Target& target, bool made) {
  folders_.push_back({target.folder, ModifiedTimeOf(entry), AccessedTimeOf(entry),
                      PermissionsOf(entry, options_.keepSpecialBits), OwnerOf(entry)});
  if (made) Announce("   creating: ");
}

void Extractor::WriteLink(const zip::Entry& entry, const Target& target) {
  Drain();
  if (entry.Size() > kLinkTargetLimit)
    throw zip::Error(zip::Failure::kDamaged,
                     "symbolic link target longer than any file system takes");
  zip::MemorySink data;
  Read(entry, &data);
  const std::string linkTarget = data.Text();
  const std::string refusal = linkTarget.find('\0') != std::string::npos
                                  ? "it holds a NUL character"
                                  : links_->Refusal(target.Path(), linkTarget);
  if (!refusal.empty())
    throw zip::Error(zip::Failure::kUnsafe,
                     "symbolic link to " + ShownUtf8Name(linkTarget) + " refused: " + refusal, "",
                     zip::Cause::kUnsafeName);
  if (!tree_->MakeFolders(target.folder)) FailFolders(target);
  if (!tree_->MakeLink(target.Path(), linkTarget))
    throw rtl::EFCreateError(target.Shown() + ": " + os::fs::LastErrorText());
  links_->Made();
  // Times of the link itself; a system that cannot set them loses nothing.
  if (options_.skipTimes < 2)
    tree_->SetTimes(target.Path(), ModifiedTimeOf(entry), AccessedTimeOf(entry));
  RestoreOwner(OwnerOf(entry), target.Shown(), [&](uint32_t user, uint32_t group) {
    return tree_->SetOwner(target.Path(), user, group);
  });
  // The target's bytes are what the link holds, shown as the member names
  // are: UTF-8, any byte that is not shown as its code.
  Announce("    linking: ", " -> " + ShownUtf8Name(linkTarget));
}

bool Extractor::WriteFile(const zip::Entry& entry, const Target& target) {
  if (!tree_->MakeFolders(target.folder)) FailFolders(target);
  std::unique_ptr<os::fs::PendingFile> file = tree_->CreateTemporary(target.folder);
  if (!file) throw rtl::EFCreateError(target.Shown() + ": " + os::fs::LastErrorText());
  if (HandOff(entry, target, file)) return false;
  Drain();
  PendingFileSink sink(*file, ConvertsLines(options_, entry));
  try {
    Read(entry, &sink);
  } catch (const rtl::EWriteError&) {
    writeFailure_ = sink.Reason();
    throw;
  }
  FinishFile(entry, target, *file);
  return true;
}

void Extractor::FinishFile(const zip::Entry& entry, const Target& target,
                           os::fs::PendingFile& file) {
  // Destroying the pending file on any failure below removes it.
  const std::optional<uint32_t> mode = PermissionsOf(entry, options_.keepSpecialBits);
  const bool timed =
      options_.skipTimes > 1 || file.SetTimes(ModifiedTimeOf(entry), AccessedTimeOf(entry));
  // The owner before the mode: giving a file away clears its setuid bit.
  RestoreOwner(OwnerOf(entry), target.Shown(),
               [&](uint32_t user, uint32_t group) { return file.SetOwner(user, group); });
  const bool stamped =
      timed && (mode ? file.SetMode(*mode) : file.SetDosAttributes(entry.DosAttributes()));
  if (!stamped || !file.Commit(target.leaf))
    throw rtl::EFCreateError(target.Shown() + ": " + os::fs::LastErrorText());
  planner_.Made(target.Path());
  Announce(static_cast<uint8_t>(entry.Method()) == 0 ? " extracting: " : "  inflating: ", "",
           MemberLine(options_, entry));
}

void Extractor::StampFolders() {
  // Deepest first: setting a folder's time after its parent's would change
  // the parent's again.
  std::stable_sort(
      folders_.begin(), folders_.end(),
      [](const FolderStamp& a, const FolderStamp& b) { return a.path.size() > b.path.size(); });
  for (const FolderStamp& folder : folders_) {
    std::string shown;
    for (const std::string& name : folder.path) shown += name + "/";
    const bool timed =
        options_.skipTimes > 0 || tree_->SetTimes(folder.path, folder.modified, folder.accessed);
    RestoreOwner(folder.owner, ShownName(shown), [&](uint32_t user, uint32_t group) {
      return tree_->SetOwner(folder.path, user, group);
    });
    const bool stamped = timed && (!folder.mode || tree_->SetMode(folder.path, *folder.mode));
    if (!stamped) {
      err_ << "tunzip: " << ShownName(shown) << ": " << os::fs::LastErrorText() << '\n';
      status_.Raise(kExitWarning);
    }
  }
}

void Extractor::RestoreOwner(const std::optional<zip::UnixOwner>& owner, const std::string& shown,
                             const std::function<bool(uint32_t, uint32_t)>& set) {
  if (!owner || set(owner->user, owner->group)) return;
  // A user who may not give files away keeps them, as with UnZip: warned,
  // and the run ends with a warning.
  progress_->Erase();
  err_ << "tunzip: warning: cannot set user " << owner->user << " and group " << owner->group
       << " for " << shown << ": " << os::fs::LastErrorText() << '\n';
  status_.Raise(kExitWarning);
}

void Extractor::Announce(const char* verb, const std::string& suffix, const std::string& line) {
  progress_->Erase();
  if (options_.quiet) return;
  out_ << verb << (line.empty() ? ShownMemberName(*current_) : line) << suffix << '\n';
}

void Extractor::Fail(const std::exception& error, const std::string& reason) {
  progress_->Erase();
  err_ << "tunzip: " << ShownMemberName(*current_) << ": "
       << FailureMessage(error, options_.havePassword || askUser_)
       << (reason.empty() ? "" : ": " + reason) << '\n';
  ++failed_;
  status_.Failed(error);
}

void Extractor::Warn(const std::string& message) {
  progress_->Erase();
  err_ << "tunzip: " << ShownMemberName(*current_) << ": " << message << '\n';
  status_.Raise(kExitWarning);
}

void Extractor::AskPassword(std::string& password) {
  progress_->Erase();
  const std::string name = current_ != nullptr ? ShownMemberName(*current_) : "";
  err_ << "[" << options_.archiveShown << "] " << name << " password: " << std::flush;
  password = os::ReadConsoleLine(false).value_or("");
}

}  // namespace

int ExtractArchive(const zip::Archive& archive, const Options& options, std::ostream& out,
                   std::ostream& err) {
  Extractor extractor(archive, options, out, err);
  return extractor.Run();
}

int ExtractStream(zip::StreamReader& stream, const Options& options, std::ostream& out,
                  std::ostream& err) {
  Extractor extractor(stream, options, out, err);
  return extractor.Run();
}

}  // namespace tunzip
