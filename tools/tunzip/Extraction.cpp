#include "Extraction.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "ExitCodes.h"
#include "Listing.h"
#include "Refresh.h"
#include "archive/AbExcept.h"
#include "archive/AbUnzMember.h"
#include "archive/AbUtils.h"
#include "os/os.h"

namespace tunzip {

namespace {

using Clock = std::chrono::steady_clock;

bool IsFolderEntry(const std::string& name) {
  return !name.empty() && (name.back() == '/' || name.back() == '\\');
}

bool Exists(const std::string& path) {
  return os::FileAttributes(path) != os::kInvalidFileAttributes;
}

// Creates a folder and its missing parents (the target given with -d).
bool CreateFolders(const std::string& path) {
  if (path.empty() || ab::FolderExists(path)) return true;
  std::string parent = path;
  while (!parent.empty() && parent.back() == '\\') parent.pop_back();
  const size_t cut = parent.find_last_of('\\');
  if (cut != std::string::npos && cut > 0 && !CreateFolders(parent.substr(0, cut))) return false;
  return os::MakeDirectory(parent) || ab::FolderExists(parent);
}

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
        status_(options.havePassword || askUser_) {}

  int Run();

 private:
  void Hook(ab::TAbZipArchive& sender, ab::TAbZipItem& item, const std::string& name);
  void Decode(ab::TAbZipArchive& sender, ab::TAbZipItem& item, const std::string& name);
  // Whether -f or -u let the member be written.
  bool Refreshes(const ab::TAbZipArchive& sender, const ab::TAbZipItem& item,
                 const std::string& name) const;
  void PlacePending();
  void Fail(const ab::TAbZipItem& item, const std::exception& error);
  void Warn(const std::string& name, const std::string& message);
  void QueryOverwrite(std::string& path, bool& confirm);
  char AskOverwrite(const std::string& path);
  std::string TemporaryBeside(const std::string& path) const;
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

  int code_ = kExitOk;
  ExitStatus status_;  // what the members' failures make of the run
  int failed_ = 0;
  bool skipped_ = false;  // the current member was not written
  bool replaceAll_ = false;
  bool replaceNone_ = false;
  // A member written to a temporary name, to be renamed over the file it
  // replaces once it has extracted correctly.
  std::string pendingTemp_;
  std::string pendingFinal_;

  const ab::TAbZipItem* current_ = nullptr;
  int32_t currentIndex_ = -1;
  uint64_t bytesDone_ = 0;
  uint64_t bytesTotal_ = 0;
  Clock::time_point started_ = Clock::now();
};

int Extractor::Run() {
  std::vector<bool> matched;
  const std::vector<int32_t> chosen =
      ChooseItems(archive_, options_.masks, options_.excludes, matched);
  for (size_t k = 0; k < matched.size(); ++k) {
    if (!matched[k]) {
      err_ << "caution: filename not matched:  " << os::AnsiToUtf8(options_.masks[k]) << '\n';
      code_ = std::max<int>(code_, kExitNoMatch);
    }
  }
  for (int32_t index : chosen) bytesTotal_ += archive_.Item(index).UncompressedSize();

  if (!testing_) {
    const std::string target = os::ExpandFileName(options_.target);
    if (!CreateFolders(target)) {
      err_ << "tunzip: " << options_.targetShown << ": cannot create the folder\n";
      return kExitSevereFormatError;
    }
    archive_.SetBaseFolder(target);
    archive_.SetUnpackFlags(options_.junkPaths ? 0 : ab::ufCreateFolders | ab::ufRestorePath);
    archive_.OnOverwriteQuery = [this](std::string& path, bool& confirm) {
      QueryOverwrite(path, confirm);
    };
  }
  if (options_.havePassword) archive_.SetArchivePassword(options_.password);
  if (askUser_) {
    archive_.OnPasswordRequest = [this](void*, std::string& password) { AskPassword(password); };
  }
  archive_.OnItemProgress = [this](ab::TAbArchive&, ab::TAbArchiveItem&, uint8_t percent, bool&) {
    ShowProgress(percent);
  };
  archive_.ExtractHook = [this](ab::TAbZipArchive& sender, ab::TAbZipItem& item,
                                const std::string& name) { Hook(sender, item, name); };

  for (int32_t index : chosen) {
    if (archive_.State() == ab::stInvalid) {
      EndProgressLine();
      err_ << "tunzip: " << options_.archiveShown << ": stopped at the user's request\n";
      return std::max<int>(code_, kExitUserAbort);
    }
    current_ = &archive_.Item(index);
    currentIndex_ = index;
    archive_.ExtractItem(index, "");
    bytesDone_ += current_->UncompressedSize();
  }
  EndProgressLine();
  if (testing_ && !options_.quiet) {
    if (failed_ == 0) {
      out_ << "No errors detected in compressed data of " << options_.archiveShown << ".\n";
    } else {
      out_ << failed_ << " member" << (failed_ == 1 ? "" : "s") << " failed in "
           << options_.archiveShown << ".\n";
    }
  }
  if (chosen.empty() && options_.masks.empty() && !options_.quiet)
    err_ << "tunzip: " << options_.archiveShown << ": zipfile is empty\n";
  return std::max(code_, status_.Code());
}

void Extractor::Hook(ab::TAbZipArchive& sender, ab::TAbZipItem& item, const std::string& name) {
  // Failures are reported here, with their own message, and go no further:
  // the driver carries on with the next member.
  skipped_ = false;
  try {
    Decode(sender, item, name);
  } catch (const std::exception& error) {
    Fail(item, error);
    return;
  }
  if (!skipped_) status_.Succeeded();
  if (progressLine_ || options_.quiet || skipped_) return;
  const std::string shown = ShownMemberName(item, currentIndex_);
  if (testing_) {
    out_ << "    testing: " << shown << "   OK\n";
  } else if (!IsFolderEntry(item.ItemName()) || !options_.junkPaths) {
    out_ << (IsFolderEntry(item.ItemName()) ? "   creating: " : "  inflating: ") << shown << '\n';
  }
}

void Extractor::Decode(ab::TAbZipArchive& sender, ab::TAbZipItem& item, const std::string& name) {
  // Nothing can be written under no name, and guessing one could hit
  // another member's file.
  if (name.empty() && !testing_)
    throw ab::EAbZipException("the member has no name to be written under");
  if (testing_) {
    if (IsFolderEntry(name)) return;
    ab::TAbBitBucketStream bucket;
    ab::DecodeMemberToStream(sender, item, &bucket);
    return;
  }
  if (IsFolderEntry(name)) {
    if (options_.junkPaths) return;
    // Freshening adds nothing, folders included.
    if (options_.refresh == Refresh::kFreshen) {
      skipped_ = true;
      return;
    }
    // The target resolution creates the folder and refuses unsafe names.
    std::string folder = name;
    ab::ConfirmTargetPath(sender.BaseFolder(), folder, sender.UnpackFlags(), nullptr);
    return;
  }
  if (!Refreshes(sender, item, name)) {
    skipped_ = true;
    return;
  }
  pendingTemp_.clear();
  pendingFinal_.clear();
  ab::ExtractMember(sender, item, name);
  PlacePending();
}

bool Extractor::Refreshes(const ab::TAbZipArchive& sender, const ab::TAbZipItem& item,
                          const std::string& name) const {
  if (options_.refresh == Refresh::kAll) return true;
  // Where the member would go, without creating its folders: a missing
  // folder means a missing file.
  std::string path = name;
  std::optional<int64_t> fileTime;
  try {
    ab::ConfirmTargetPath(sender.BaseFolder(), path, sender.UnpackFlags() & ~ab::ufCreateFolders,
                          nullptr);
    fileTime = os::LastWriteTime(path);
  } catch (const ab::EAbNoSuchDirectory&) {
  }
  return DecideRefresh(options_.refresh,
                       MemberTimeFromDos(item.LastModFileDate(), item.LastModFileTime()),
                       fileTime) == RefreshVerdict::kWrite;
}

void Extractor::PlacePending() {
  if (pendingTemp_.empty() || !Exists(pendingTemp_)) return;
  const std::string temp = pendingTemp_;
  const std::string final = pendingFinal_;
  pendingTemp_.clear();
  if (Exists(final)) {
    os::SetFileAttributes(final, os::faNormal);
    os::RemoveFile(final);
  }
  if (!os::MoveFile(temp, final)) {
    const uint32_t code = os::LastError();
    os::SetFileAttributes(temp, os::faNormal);
    os::RemoveFile(temp);
    throw rtl::EInOutError(static_cast<int32_t>(code),
                           "cannot replace " + final + ": " + os::SystemErrorMessage(code));
  }
}

void Extractor::Fail(const ab::TAbZipItem& item, const std::exception& error) {
  EndProgressLine();
  err_ << "tunzip: " << ShownMemberName(item, currentIndex_) << ": "
       << FailureMessage(error, options_.havePassword || askUser_) << '\n';
  ++failed_;
  status_.Failed(error);
}

void Extractor::Warn(const std::string& name, const std::string& message) {
  EndProgressLine();
  err_ << "tunzip: " << ShownName(name) << ": " << message << '\n';
  code_ = std::max<int>(code_, kExitWarning);
}

void Extractor::QueryOverwrite(std::string& path, bool& confirm) {
  char answer = 'n';
  if (options_.overwrite == Overwrite::kAlways || replaceAll_) {
    answer = 'y';
  } else if (options_.overwrite == Overwrite::kNever || replaceNone_) {
    answer = 'n';
  } else if (askUser_) {
    answer = AskOverwrite(path);
  } else {
    Warn(current_ != nullptr ? current_->ItemName() : path,
         "exists, not overwritten (use -o to overwrite, -n to skip quietly)");
    confirm = false;
    skipped_ = true;
    return;
  }
  if (answer == 'n') {
    confirm = false;
    skipped_ = true;
    return;
  }
  if (answer == 'r') {
    err_ << "new name: " << std::flush;
    const std::optional<std::string> renamed = os::ReadConsoleLine(true);
    if (!renamed || renamed->empty()) {
      confirm = false;
      skipped_ = true;
      return;
    }
    path = ab::FolderPart(path) + *renamed;
    if (!Exists(path)) return;
  }
  pendingFinal_ = path;
  pendingTemp_ = TemporaryBeside(path);
  path = pendingTemp_;
}

char Extractor::AskOverwrite(const std::string& path) {
  EndProgressLine();
  for (;;) {
    err_ << "replace " << os::AnsiToUtf8(path)
         << "? [y]es, [n]o, [A]ll, [N]one, [r]ename: " << std::flush;
    const std::optional<std::string> line = os::ReadConsoleLine(true);
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

std::string Extractor::TemporaryBeside(const std::string& path) const {
  const std::string folder = ab::FolderPart(path);
  for (int n = 0;; ++n) {
    const std::string candidate = folder + ".tunzip-" + std::to_string(n) + ".tmp";
    if (!Exists(candidate)) return candidate;
  }
}

void Extractor::AskPassword(std::string& password) {
  EndProgressLine();
  const std::string name = current_ != nullptr ? ShownName(current_->ItemName()) : "";
  err_ << "[" << options_.archiveShown << "] " << name << " password: " << std::flush;
  password = os::ReadConsoleLine(false).value_or("");
}

void Extractor::ShowProgress(uint8_t percent) {
  if (!progressLine_ || current_ == nullptr) return;
  const uint64_t done = bytesDone_ + current_->UncompressedSize() * uint64_t{percent} / 100;
  const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds / 1e6 : 0;
  char line[64];
  std::snprintf(line, sizeof line, "%3d%%  %7.1f MB/s  ",
                static_cast<int>(ab::Percentage(static_cast<int32_t>(done >> 10),
                                                static_cast<int32_t>(bytesTotal_ >> 10))),
                rate);
  std::string name = ShownName(current_->ItemName());
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
