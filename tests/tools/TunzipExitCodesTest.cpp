// tunzip's exit codes: each failure the reader raises, as the library hands
// it to tunzip and UnZip's scripts read it, and how the outcomes of many
// members make the code of a run.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "tunzip/ExitCodes.h"
#include "zip/MemberPath.h"
#include "zip/ReadSupport.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbExcept.h"

namespace {

using namespace tunzip;

int Code(const std::exception& error) {
  return ExitCodeFor(error, false);
}

// An engine failure as the library turns it into a zip::Error for its
// callers: tunzip sees no other.
zip::Error Reported(const std::exception& engineFailure) {
  return zip::Translate(engineFailure, "member");
}

int ReportedCode(const std::exception& engineFailure) {
  return Code(Reported(engineFailure));
}

zip::Error UnsafeNameOf(const std::string& name) {
  try {
    zip::SplitMemberPath(name);
  } catch (const zip::Error& error) {
    return error;
  }
  ADD_FAILURE() << name << " was not refused";
  return zip::Error(zip::Failure::kDamaged, "");
}

TEST(TunzipExitCodes, EachFailureMeansWhatItMeansToUnZip) {
  // Damaged data: 2.
  EXPECT_EQ(ReportedCode(ab::EAbZipBadCRC()), kExitFormatError);
  EXPECT_EQ(ReportedCode(ab::EAbInflateError("bad code")), kExitFormatError);
  EXPECT_EQ(ReportedCode(ab::EAbZipInvalidFactor()), kExitFormatError);
  EXPECT_EQ(ReportedCode(ab::EAbZipSizeExceeded()), kExitFormatError);
  EXPECT_EQ(ReportedCode(ab::EAbZipBadExtraField()), kExitFormatError);
  EXPECT_EQ(Code(rtl::EReadError()), kExitFormatError);
  EXPECT_EQ(Code(rtl::EInOutError(5, "access denied")), kExitFormatError);
  // A name that would leave the target folder is a damaged member, with the
  // rule alone for a message; members sharing bytes are a bomb.
  for (const char* name : {"../x", "/x", "C:x", ""}) {
    const zip::Error refused = UnsafeNameOf(name);
    EXPECT_EQ(refused.Category(), zip::Failure::kUnsafe) << name;
    EXPECT_EQ(Code(refused), kExitFormatError) << name;
    EXPECT_EQ(refused.Entry(), name);
    EXPECT_EQ(FailureMessage(refused, true).rfind("Cannot extract file - ", 0), 0u)
        << FailureMessage(refused, true);
  }
  EXPECT_EQ(FailureMessage(zip::UnsafeName("a/", "empty name"), true),
            "Cannot extract file - empty name");
  EXPECT_EQ(ReportedCode(ab::EAbZipOverlap()), kExitZipBomb);
  // What tunzip cannot do: 81; passwords: 82; abort: 80.
  EXPECT_EQ(ReportedCode(ab::EAbZipInvalidMethod()), kExitUnsupported);
  EXPECT_EQ(ReportedCode(ab::EAbZipVersion()), kExitUnsupported);
  EXPECT_EQ(ReportedCode(ab::EAbZipMethodNotRead(14)), kExitUnsupported);
  EXPECT_EQ(ReportedCode(ab::EAbZipInvalidPassword()), kExitBadPassword);
  EXPECT_EQ(ReportedCode(ab::EAbInflatePasswordError()), kExitBadPassword);
  EXPECT_EQ(ReportedCode(ab::EAbUserAbort()), kExitUserAbort);
  EXPECT_EQ(ReportedCode(ab::EAbAbortProgress()), kExitUserAbort);
  // Writing: a full disk and a file that cannot be created are UnZip's 50.
  EXPECT_EQ(Code(rtl::EWriteError()), kExitDiskFull);
  EXPECT_EQ(Code(rtl::EFCreateError("/x/y")), kExitDiskFull);
  EXPECT_EQ(Code(std::bad_alloc()), kExitNoMemory);
  // The archive itself: 9 when it is not one or cannot be opened (a part of
  // a split set missing included), 3 when its records are damaged or
  // nothing better is known, 2 for one part of a split set.
  EXPECT_EQ(Code(rtl::EFOpenError("/x/y")), kExitArchiveNotFound);
  EXPECT_EQ(ExitCodeFor(Reported(ab::EAbZipInvalid()), true), kExitArchiveNotFound);
  EXPECT_EQ(Code(zip::Error(zip::Failure::kIo, "missing", "", zip::Cause::kMissingPart)),
            kExitArchiveNotFound);
  EXPECT_EQ(Code(zip::Error(zip::Failure::kIo, "read failed")), kExitFormatError);
  EXPECT_EQ(ReportedCode(ab::EAbZipInvalid()), kExitSevereFormatError);
  EXPECT_EQ(ReportedCode(ab::EAbZipDirectoryMismatch()), kExitSevereFormatError);
  EXPECT_EQ(Reported(ab::EAbZipMultiPart()).Cause(), zip::Cause::kSplitPart);
  EXPECT_EQ(ReportedCode(ab::EAbZipMultiPart()), kExitFormatError);
  EXPECT_EQ(Code(std::runtime_error("?")), kExitSevereFormatError);
}

TEST(TunzipExitCodes, TheWorstOutcomeOfARunCounts) {
  ExitStatus status(true);
  EXPECT_EQ(status.Code(), kExitOk);
  status.Succeeded();
  status.Raise(kExitWarning);
  EXPECT_EQ(status.Code(), kExitWarning);
  status.Failed(Reported(ab::EAbZipBadCRC()));
  status.Raise(kExitWarning);
  EXPECT_EQ(status.Code(), kExitFormatError);
  status.Raise(kExitNoMatch);
  EXPECT_EQ(status.Code(), kExitNoMatch);
  status.Failed(rtl::EWriteError());
  EXPECT_EQ(status.Code(), kExitDiskFull);
}

TEST(TunzipExitCodes, AWrongPasswordFailsTheRunOnlyWhenNothingWasWritten) {
  ExitStatus none(true);
  none.Failed(Reported(ab::EAbZipInvalidPassword()));
  none.Failed(Reported(ab::EAbZipInvalidMethod()));
  EXPECT_EQ(none.Code(), kExitBadPassword);

  ExitStatus mixed(true);
  mixed.Succeeded();
  mixed.Failed(Reported(ab::EAbInflatePasswordError()));
  EXPECT_EQ(mixed.Code(), kExitWarning);
  mixed.Failed(Reported(ab::EAbZipBadCRC()));
  EXPECT_EQ(mixed.Code(), kExitFormatError);
}

TEST(TunzipExitCodes, APasswordThatCannotBeAskedForIsFive) {
  ExitStatus unsupported(false);
  unsupported.Failed(Reported(ab::EAbZipInvalidMethod()));
  unsupported.Failed(Reported(ab::EAbZipInvalidPassword()));
  EXPECT_EQ(unsupported.Code(), kExitNoPassword);

  ExitStatus status(false);
  status.Succeeded();
  status.Failed(Reported(ab::EAbZipInvalidPassword()));
  EXPECT_EQ(status.Code(), kExitNoPassword);
  EXPECT_TRUE(ExitStatus::IsPasswordFailure(Reported(ab::EAbInflatePasswordError())));
  EXPECT_FALSE(ExitStatus::IsPasswordFailure(Reported(ab::EAbZipBadCRC())));
  // A full disk still says more.
  status.Failed(rtl::EWriteError());
  EXPECT_EQ(status.Code(), kExitDiskFull);
}

}  // namespace
