#include "ExitCodes.h"

#include <new>

#include "archive/AbDfBase.h"
#include "archive/AbExcept.h"

namespace tunzip {

int ExitCodeFor(const std::exception& error, bool notAnArchive) {
  // Opening failed, or the file is too short or has no end record: UnZip
  // says the zipfile was not found.
  if (dynamic_cast<const rtl::EFOpenError*>(&error) != nullptr) return kExitArchiveNotFound;
  if (dynamic_cast<const rtl::EReadError*>(&error) != nullptr) return kExitArchiveNotFound;
  if (dynamic_cast<const ab::EAbZipInvalid*>(&error) != nullptr)
    return notAnArchive ? kExitArchiveNotFound : kExitSevereFormatError;
  if (dynamic_cast<const ab::EAbUserAbort*>(&error) != nullptr ||
      dynamic_cast<const ab::EAbAbortProgress*>(&error) != nullptr)
    return kExitUserAbort;
  if (dynamic_cast<const ab::EAbZipInvalidMethod*>(&error) != nullptr ||
      dynamic_cast<const ab::EAbZipVersion*>(&error) != nullptr)
    return kExitUnsupported;
  if (dynamic_cast<const ab::EAbZipInvalidPassword*>(&error) != nullptr ||
      dynamic_cast<const ab::EAbInflatePasswordError*>(&error) != nullptr)
    return kExitBadPassword;
  if (dynamic_cast<const rtl::EWriteError*>(&error) != nullptr) return kExitDiskFull;
  if (dynamic_cast<const std::bad_alloc*>(&error) != nullptr) return kExitNoMemory;
  if (dynamic_cast<const ab::EAbZipBadCRC*>(&error) != nullptr ||
      dynamic_cast<const ab::EAbInflateError*>(&error) != nullptr)
    return kExitFormatError;
  return kExitSevereFormatError;
}

}  // namespace tunzip
