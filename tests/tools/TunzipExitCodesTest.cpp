// tunzip's exit codes: each failure the reader raises, as UnZip's scripts
// read it, and how the outcomes of many members make the code of a run.
#include <gtest/gtest.h>

#include <new>
#include <stdexcept>

#include "tunzip/ExitCodes.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbExcept.h"

namespace {

using namespace tunzip;

int Code(const std::exception& error) {
  return ExitCodeFor(error, false);
}

TEST(TunzipExitCodes, EachFailureMeansWhatItMeansToUnZip) {
  // Damaged data: 2.
  EXPECT_EQ(Code(ab::EAbZipBadCRC()), kExitFormatError);
  EXPECT_EQ(Code(ab::EAbInflateError("bad code")), kExitFormatError);
  EXPECT_EQ(Code(ab::EAbZipInvalidFactor()), kExitFormatError);
  EXPECT_EQ(Code(rtl::EReadError()), kExitFormatError);
  EXPECT_EQ(Code(ab::EAbZipUnsafeName("../x")), kExitFormatError);
  EXPECT_EQ(Code(rtl::EInOutError(5, "access denied")), kExitFormatError);
  // What tunzip cannot do: 81; passwords: 82; abort: 80.
  EXPECT_EQ(Code(ab::EAbZipInvalidMethod()), kExitUnsupported);
  EXPECT_EQ(Code(ab::EAbZipVersion()), kExitUnsupported);
  EXPECT_EQ(Code(ab::EAbZipInvalidPassword()), kExitBadPassword);
  EXPECT_EQ(Code(ab::EAbInflatePasswordError()), kExitBadPassword);
  EXPECT_EQ(Code(ab::EAbUserAbort()), kExitUserAbort);
  EXPECT_EQ(Code(ab::EAbAbortProgress()), kExitUserAbort);
  // Writing: a full disk and a file that cannot be created are UnZip's 50.
  EXPECT_EQ(Code(rtl::EWriteError()), kExitDiskFull);
  EXPECT_EQ(Code(rtl::EFCreateError("/x/y")), kExitDiskFull);
  EXPECT_EQ(Code(std::bad_alloc()), kExitNoMemory);
  // The archive itself: 9 when it is not one or cannot be opened, 3 when its
  // directory is damaged or nothing better is known.
  EXPECT_EQ(Code(rtl::EFOpenError("/x/y")), kExitArchiveNotFound);
  EXPECT_EQ(ExitCodeFor(ab::EAbZipInvalid(), true), kExitArchiveNotFound);
  EXPECT_EQ(Code(ab::EAbZipInvalid()), kExitSevereFormatError);
  EXPECT_EQ(Code(std::runtime_error("?")), kExitSevereFormatError);
}

TEST(TunzipExitCodes, TheWorstOutcomeOfARunCounts) {
  ExitStatus status(true);
  EXPECT_EQ(status.Code(), kExitOk);
  status.Succeeded();
  status.Raise(kExitWarning);
  EXPECT_EQ(status.Code(), kExitWarning);
  status.Failed(ab::EAbZipBadCRC());
  status.Raise(kExitWarning);
  EXPECT_EQ(status.Code(), kExitFormatError);
  status.Raise(kExitNoMatch);
  EXPECT_EQ(status.Code(), kExitNoMatch);
  status.Failed(rtl::EWriteError());
  EXPECT_EQ(status.Code(), kExitDiskFull);
}

TEST(TunzipExitCodes, AWrongPasswordFailsTheRunOnlyWhenNothingWasWritten) {
  ExitStatus none(true);
  none.Failed(ab::EAbZipInvalidPassword());
  none.Failed(ab::EAbZipInvalidMethod());
  EXPECT_EQ(none.Code(), kExitBadPassword);

  ExitStatus mixed(true);
  mixed.Succeeded();
  mixed.Failed(ab::EAbInflatePasswordError());
  EXPECT_EQ(mixed.Code(), kExitWarning);
  mixed.Failed(ab::EAbZipBadCRC());
  EXPECT_EQ(mixed.Code(), kExitFormatError);
}

TEST(TunzipExitCodes, APasswordThatCannotBeAskedForIsFive) {
  ExitStatus unsupported(false);
  unsupported.Failed(ab::EAbZipInvalidMethod());
  unsupported.Failed(ab::EAbZipInvalidPassword());
  EXPECT_EQ(unsupported.Code(), kExitNoPassword);

  ExitStatus status(false);
  status.Succeeded();
  status.Failed(ab::EAbZipInvalidPassword());
  EXPECT_EQ(status.Code(), kExitNoPassword);
  EXPECT_TRUE(ExitStatus::IsPasswordFailure(ab::EAbInflatePasswordError()));
  EXPECT_FALSE(ExitStatus::IsPasswordFailure(ab::EAbZipBadCRC()));
  // A full disk still says more.
  status.Failed(rtl::EWriteError());
  EXPECT_EQ(status.Code(), kExitDiskFull);
}

}  // namespace
