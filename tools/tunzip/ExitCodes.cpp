#include "ExitCodes.h"

#include <algorithm>
#include <new>
#include <typeinfo>

#include "os/os.h"
#include "zip/Error.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbExcept.h"

namespace tunzip {

namespace {

constexpr int32_t kAnyNumber = -1;

// A failure as the reader classifies it, and what it means to a script. The
// class narrows a row only where the classification leaves failures alike
// (the Deflate decoder's and the runtime's, all number 0).
struct ExitRule {
  ab::TAbFailureKind kind;
  int32_t number;
  const std::type_info* type;
  int code;
};

const ExitRule kRules[] = {
    {ab::fkArchive, ab::AbZipBadCRC, nullptr, kExitFormatError},
    {ab::fkArchive, ab::AbInvalidFactor, nullptr, kExitFormatError},
    {ab::fkArchive, ab::AbReadError, nullptr, kExitFormatError},
    {ab::fkArchive, ab::AbErrZipInvalid, nullptr, kExitSevereFormatError},
    {ab::fkArchive, ab::AbZipVersionNeeded, nullptr, kExitUnsupported},
    {ab::fkArchive, ab::AbUnknownCompressionMethod, nullptr, kExitUnsupported},
    {ab::fkArchive, ab::AbInvalidPassword, nullptr, kExitBadPassword},
    {ab::fkArchive, ab::AbUserAbort, nullptr, kExitUserAbort},
    {ab::fkArchive, ab::AbZipOverlap, nullptr, kExitZipBomb},
    {ab::fkArchive, ab::AbZipSizeExceeded, nullptr, kExitFormatError},
    {ab::fkArchive, ab::AbZipBadExtraField, nullptr, kExitFormatError},
    {ab::fkArchive, ab::AbZipPastCompressedSize, nullptr, kExitFormatError},
    {ab::fkArchive, ab::AbZipStoredSizesDiffer, nullptr, kExitFormatError},
    {ab::fkArchive, ab::AbZipDirectoryMismatch, nullptr, kExitSevereFormatError},
    {ab::fkArchive, ab::AbZipWinZipAes, nullptr, kExitUnsupported},
    {ab::fkArchive, ab::AbZipMethodNotRead, nullptr, kExitUnsupported},
    // A refusal with a message of its own: an unsafe name, overlapping data.
    {ab::fkArchive, 0, nullptr, kExitFormatError},
    {ab::fkFiler, 0, &typeid(rtl::EWriteError), kExitDiskFull},
    // The archive ends before a member's data does.
    {ab::fkFiler, 0, &typeid(rtl::EReadError), kExitFormatError},
    {ab::fkFileOpen, 0, nullptr, kExitArchiveNotFound},
    // UnZip's code for a file it cannot create in its folder, whatever the cause.
    {ab::fkFileCreate, 0, nullptr, kExitDiskFull},
    // A file-system call that failed on the way, folders that cannot be
    // made included: UnZip's generic error.
    {ab::fkInOut, kAnyNumber, nullptr, kExitFormatError},
    {ab::fkOther, 0, &typeid(ab::EAbInflateError), kExitFormatError},
    {ab::fkOther, 0, &typeid(ab::EAbInternalInflateError), kExitFormatError},
    {ab::fkOther, 0, &typeid(ab::EAbInflatePasswordError), kExitBadPassword},
    {ab::fkOther, 0, &typeid(ab::EAbAbortProgress), kExitUserAbort},
    {ab::fkOther, 0, &typeid(std::bad_alloc), kExitNoMemory},
};

const ExitRule* RuleFor(const std::exception& error) {
  const ab::TAbFailure failure = ab::ClassifyFailure(error);
  for (const ExitRule& rule : kRules) {
    if (rule.kind != failure.kind) continue;
    if (rule.number != kAnyNumber && rule.number != failure.number) continue;
    if (rule.type != nullptr && *rule.type != typeid(error)) continue;
    return &rule;
  }
  return nullptr;
}

}  // namespace

// A failure the library reports, by its category; within a category only
// the directory's damage is told apart, as UnZip tells a damaged zipfile
// from a damaged member.
int LibraryCode(const zip::Error& error) {
  switch (error.Category()) {
    case zip::Failure::kNotZip:
      return kExitArchiveNotFound;
    case zip::Failure::kDamaged:
      return error.Cause() == ab::AbErrZipInvalid || error.Cause() == ab::AbZipDirectoryMismatch
                 ? kExitSevereFormatError
                 : kExitFormatError;
    case zip::Failure::kUnsupported:
      return error.Cause() == ab::AbZipMultiPart ? kExitFormatError : kExitUnsupported;
    case zip::Failure::kWrongPassword:
      return kExitBadPassword;
    case zip::Failure::kUnsafe:
      return kExitZipBomb;
    case zip::Failure::kIo:
      // A part of a split set that is not there: the archive is not found
      // whole, which a script can tell from a damaged one.
      return error.Cause() == ab::AbZipMissingPart ? kExitArchiveNotFound : kExitFormatError;
    case zip::Failure::kCancelled:
      return kExitUserAbort;
  }
  return kExitSevereFormatError;
}

int ExitCodeFor(const std::exception& error, bool notAnArchive) {
  if (notAnArchive) return kExitArchiveNotFound;
  if (const auto* library = dynamic_cast<const zip::Error*>(&error)) return LibraryCode(*library);
  const ExitRule* rule = RuleFor(error);
  // Anything the table does not name is a damaged archive as far as a
  // script can tell: it did not get its files.
  return rule != nullptr ? rule->code : kExitSevereFormatError;
}

std::string FailureMessage(const std::exception& error, bool passwordAvailable) {
  if (!passwordAvailable && ExitStatus::IsPasswordFailure(error))
    return "skipped, unable to get password (give it with -P)";
  // The library's words are UTF-8 already, and the caller names the member.
  if (const auto* library = dynamic_cast<const zip::Error*>(&error)) return library->Rule();
  if (const auto* unsafe = dynamic_cast<const ab::EAbZipUnsafeName*>(&error))
    return unsafe->Refusal();
  return os::AnsiToUtf8(error.what());
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
