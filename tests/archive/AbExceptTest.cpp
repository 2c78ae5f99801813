#include <gtest/gtest.h>

#include <new>

#include "rtl/Exception.h"
#include "zip/engine/AbDfBase.h"
#include "zip/engine/AbExcept.h"

using namespace ab;

TEST(AbExcept, FamilyCarriesNumberAndTableText) {
  EAbZipBadCRC crc;
  EXPECT_EQ(crc.Message(), "Failed CRC Check");
  EXPECT_EQ(crc.ErrorNumber(), 23);
  EXPECT_EQ(EAbZipInvalid().Message(), "Invalid file - not a PKZip file");
  EXPECT_EQ(EAbNoArchive().ErrorNumber(), 27);
  EXPECT_EQ(EAbZipInvalidFactor().Message(), "Invalid Reduce Factor");
  EXPECT_EQ(EAbVMSReadFail(12, "swap.tmp").Message(),
            "VMS: Failed to read 12 bytes from swap file swap.tmp");
  EXPECT_EQ(EAbBBSReadTooManyBytes(-3).Message(), "BBS: request to read too many bytes [-3]");
}

TEST(AbExcept, MessageForCodeLeavesUnknownNumbersAlone) {
  std::string text = "unchanged";
  MessageForCode(7, text);
  EXPECT_EQ(text, "unchanged");
  MessageForCode(14, text);
  EXPECT_EQ(text, "Insert disk number %d of the spanned disk set");
}

TEST(AbExcept, ClassifyFailureByKind) {
  auto kindOf = [](const std::exception& e) { return ClassifyFailure(e); };
  EXPECT_EQ(kindOf(EAbZipBadCRC()).kind, fkArchive);
  EXPECT_EQ(kindOf(EAbZipBadCRC()).number, 23);
  EXPECT_EQ(kindOf(EAbZipNoExtraction()).number, 3);
  const TAbFailure plain = kindOf(EAbException("Full Path Required"));
  EXPECT_EQ(plain.kind, fkArchive);
  EXPECT_EQ(plain.number, 0);

  const TAbFailure create = kindOf(rtl::EFCreateError("C:\\X\\Y.TXT"));
  EXPECT_EQ(create.kind, fkFileCreate);
  EXPECT_EQ(create.number, 0);
  EXPECT_EQ(rtl::EFCreateError("C:\\X\\Y.TXT").Message(), "Cannot create file C:\\X\\Y.TXT");
  EXPECT_EQ(kindOf(rtl::EFOpenError("a")).kind, fkFileOpen);
  EXPECT_EQ(kindOf(rtl::EWriteError()).kind, fkFiler);
  EXPECT_EQ(kindOf(rtl::EReadError()).kind, fkFiler);
  const TAbFailure io = kindOf(rtl::EInOutError(5, "Access denied"));
  EXPECT_EQ(io.kind, fkInOut);
  EXPECT_EQ(io.number, 5);

  EXPECT_EQ(kindOf(EAbInflateError("x")).kind, fkOther);
  EXPECT_EQ(kindOf(std::bad_alloc()).kind, fkOther);
  EXPECT_EQ(kindOf(rtl::EListError(4)).kind, fkOther);
}

TEST(AbExcept, AbortProgressAndUserAbortShareTextOnly) {
  EAbAbortProgress progress;
  EAbUserAbort user;
  EXPECT_EQ(progress.Message(), user.Message());
  EXPECT_EQ(ClassifyFailure(progress).kind, fkOther);
  EXPECT_EQ(ClassifyFailure(user).kind, fkArchive);
  EXPECT_EQ(ClassifyFailure(user).number, 9);
  EXPECT_EQ(EAbInflateError("bad").Message(),
            "Inflate error, possibly a corrupted compressed stream. (Internal cause: bad)");
}
