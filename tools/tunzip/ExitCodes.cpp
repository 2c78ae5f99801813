#include "ExitCodes.h"

#include <algorithm>
#include <new>
#include <optional>
#include <typeinfo>

#include "rtl/Exception.h"
#include "zip/Error.h"

namespace tunzip {

namespace {

// What tunzip's own file calls raise, and the runtime's read and write
// errors below the sinks; nothing when the failure is none of them.
std::optional<int> RuntimeCode(const std::exception& error) {
  // A file-system call that failed on the way, folders that cannot be made
  // included: UnZip's generic error.
  if (dynamic_cast<const rtl::EInOutError*>(&error) != nullptr) return kExitFormatError;
  if (dynamic_cast<const rtl::EFilerError*>(&error) != nullptr) {
    if (typeid(error) == typeid(rtl::EWriteError)) return kExitDiskFull;
    // The archive ends before a member's data does.
    if (typeid(error) == typeid(rtl::EReadError)) return kExitFormatError;
    return std::nullopt;
  }
  if (dynamic_cast<const rtl::EFOpenError*>(&error) != nullptr) return kExitArchiveNotFound;
  // UnZip's code for a file it cannot create in its folder, whatever the cause.
  if (dynamic_cast<const rtl::EFCreateError*>(&error) != nullptr) return kExitDiskFull;
  if (typeid(error) == typeid(std::bad_alloc)) return kExitNoMemory;
  return std::nullopt;
}

// A failure the library reports, by its category; within a category only
// a few causes are told apart: the archive's own damage, as UnZip tells a
// damaged zipfile from a damaged member, a part of a split set, and an
// unsafe name from members that share their bytes.
int LibraryCode(const zip::Error& error) {
  switch (error.Category()) {
    case zip::Failure::kNotZip:
      return kExitArchiveNotFound;
    case zip::Failure::kDamaged:
      return error.Cause() == zip::Cause::kArchiveDamaged ? kExitSevereFormatError
                                                          : kExitFormatError;
    case zip::Failure::kUnsupported:
      return error.Cause() == zip::Cause::kSplitPart ? kExitFormatError : kExitUnsupported;
    case zip::Failure::kWrongPassword:
      return kExitBadPassword;
    case zip::Failure::kUnsafe:
      // A name that would leave the target folder is refused as UnZip
      // refuses it, as a damaged member.
      return error.Cause() == zip::Cause::kUnsafeName ? kExitFormatError : kExitZipBomb;
    case zip::Failure::kIo:
      // A part of a split set that is not there: the archive is not found
      // whole, which a script can tell from a damaged one.
      return error.Cause() == zip::Cause::kMissingPart ? kExitArchiveNotFound : kExitFormatError;
    case zip::Failure::kCancelled:
      return kExitUserAbort;
  }
  return kExitSevereFormatError;
}

}  // namespace

int ExitCodeFor(const std::exception& error, bool notAnArchive) {
  if (notAnArchive) return kExitArchiveNotFound;
  if (const auto* library = dynamic_cast<const zip::Error*>(&error)) return LibraryCode(*library);
  // Anything else is a damaged archive as far as a script can tell: it did
  // not get its files.
  return RuntimeCode(error).value_or(kExitSevereFormatError);
}

std::string FailureMessage(const std::exception& error, bool passwordAvailable) {
  if (!passwordAvailable && ExitStatus::IsPasswordFailure(error))
    return "skipped, unable to get password (give it with -P)";
  // The library's words are UTF-8 already, and the caller names the member.
  if (const auto* library = dynamic_cast<const zip::Error*>(&error)) return library->Rule();
  // The rest are tunzip's own, which name files by their UTF-8 names and
  // give the file system's reasons as it gives them, in UTF-8 too.
  return error.what();
}

bool ExitStatus::IsPasswordFailure(const std::exception& error) {
  return ExitCodeFor(error, false) == kExitBadPassword;
}

void ExitStatus::Raise(int code) {
  worst_ = std::max(worst_, code);
  stopped_ = stopped_ || code == kExitDiskFull || code == kExitUserAbort;
}

void ExitStatus::Failed(const std::exception& error) {
  if (IsPasswordFailure(error)) {
    (passwordAvailable_ ? wrongPassword_ : missingPassword_) = true;
    return;
  }
  Raise(ExitCodeFor(error, false));
}

int ExitStatus::Code() const {
  // A full disk and an abort stop the run; a missing password says less.
  if (missingPassword_) return stopped_ ? worst_ : +kExitNoPassword;
  if (wrongPassword_) return std::max(worst_, succeeded_ > 0 ? +kExitWarning : +kExitBadPassword);
  return worst_;
}

}  // namespace tunzip
