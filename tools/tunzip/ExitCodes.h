// Exit codes as Info-ZIP UnZip documents them, so that scripts written for it
// keep working; the code for each failure the library or the runtime raises;
// and the code of a whole run, combined from what happened to each member.
#pragma once

#include <exception>
#include <string>

namespace tunzip {

enum ExitCode : int {
  kExitOk = 0,
  kExitWarning = 1,
  kExitFormatError = 2,
  kExitSevereFormatError = 3,
  kExitNoPassword = 5,  // UnZip's "unable to get password" (also out of memory)
  kExitNoMemory = 5,
  kExitArchiveNotFound = 9,
  kExitBadOptions = 10,
  kExitNoMatch = 11,
  kExitZipBomb = 12,  // members overlap one another or the directory
  kExitDiskFull = 50,
  kExitUserAbort = 80,
  kExitUnsupported = 81,
  kExitBadPassword = 82,
};

// The code of a failure: a zip::Error by its category and cause, the
// runtime's file errors by their class, std::bad_alloc as out of memory.
// notAnArchive: the reader refused the file as no archive at all (it then
// leaves the archive invalid), rather than finding a damaged one.
int ExitCodeFor(const std::exception& error, bool notAnArchive);

// What a member's failure says to the user, in UTF-8: the reader's message,
// or for a password that could not be had (none given, no terminal to ask
// on) how to give one.
std::string FailureMessage(const std::exception& error, bool passwordAvailable);

// The exit code of a run over many members. Most outcomes combine by taking
// the highest code, as UnZip does; passwords follow UnZip's own rules: a
// wrong one fails the run (82) only when nothing else was written, and
// needing one that cannot be asked for (no -P, no terminal) gives 5.
class ExitStatus {
 public:
  // passwordAvailable: -P was given or a terminal can be asked.
  explicit ExitStatus(bool passwordAvailable) : passwordAvailable_(passwordAvailable) {}

  void Succeeded() { ++succeeded_; }
  void Raise(int code);
  void Failed(const std::exception& error);
  // Whether the last failure was a password the run could not get.
  static bool IsPasswordFailure(const std::exception& error);
  int Code() const;

 private:
  bool passwordAvailable_;
  int worst_ = kExitOk;
  int succeeded_ = 0;
  bool wrongPassword_ = false;
  bool missingPassword_ = false;
  bool stopped_ = false;  // a full disk or an abort
};

}  // namespace tunzip
