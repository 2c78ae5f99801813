// Exit codes as Info-ZIP UnZip documents them, so that scripts written for it
// keep working, and the code for each failure the reader raises.
#pragma once

#include <exception>

namespace tunzip {

enum ExitCode : int {
  kExitOk = 0,
  kExitWarning = 1,
  kExitFormatError = 2,
  kExitSevereFormatError = 3,
  kExitNoMemory = 5,
  kExitArchiveNotFound = 9,
  kExitBadOptions = 10,
  kExitNoMatch = 11,
  kExitDiskFull = 50,
  kExitUserAbort = 80,
  kExitUnsupported = 81,
  kExitBadPassword = 82,
};

// notAnArchive: the reader refused the file as no archive at all (it then
// leaves the archive invalid), rather than finding a damaged one.
int ExitCodeFor(const std::exception& error, bool notAnArchive);

}  // namespace tunzip
