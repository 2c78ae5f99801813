// The archive reader's exception family, rooted at EAbException. Each class
// carries a fixed error number whose text comes from the message table;
// ClassifyFailure turns any exception into a failure kind and a number.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "rtl/Exception.h"
#include "rtl/Format.h"
#include "zip/engine/AbConst.h"

namespace ab {

class EAbException : public rtl::Exception {
 public:
  // A message of its own; ErrorNumber stays 0.
  explicit EAbException(std::string message) : rtl::Exception(std::move(message)) {}
  int32_t ErrorNumber() const { return errorNumber_; }

 protected:
  // The message from the table, filled with the placeholder arguments.
  EAbException(int32_t number, std::initializer_list<rtl::FormatArg> args);

 private:
  int32_t errorNumber_ = 0;
};

// Groups the ZIP-format and stream errors; never raised itself.
class EAbZipException : public EAbException {
 protected:
  using EAbException::EAbException;
};

#define TESSALINE_AB_ERROR(Name, Base, Number) \
  class Name : public Base {                   \
   public:                                     \
    Name() : Base(Number, {}) {}               \
  };

TESSALINE_AB_ERROR(EAbZipVersion, EAbZipException, AbZipVersionNeeded)
TESSALINE_AB_ERROR(EAbZipInvalidMethod, EAbZipException, AbUnknownCompressionMethod)
TESSALINE_AB_ERROR(EAbZipNoExtraction, EAbZipException, AbNoExtractionMethod)
TESSALINE_AB_ERROR(EAbZipInvalidPassword, EAbZipException, AbInvalidPassword)
TESSALINE_AB_ERROR(EAbZipNoInsertion, EAbZipException, AbNoInsertionMethod)
TESSALINE_AB_ERROR(EAbZipInvalidFactor, EAbZipException, AbInvalidFactor)
TESSALINE_AB_ERROR(EAbUserAbort, EAbException, AbUserAbort)
TESSALINE_AB_ERROR(EAbZipBadSpanStream, EAbZipException, AbBadSpanStream)
TESSALINE_AB_ERROR(EAbZipSpanOverwrite, EAbZipException, AbNoOverwriteSpan)
TESSALINE_AB_ERROR(EAbNoSuchDirectory, EAbException, AbNoSuchDirectory)
TESSALINE_AB_ERROR(EAbBadStream, EAbException, AbBadStream)
TESSALINE_AB_ERROR(EAbZipBadCRC, EAbZipException, AbZipBadCRC)
TESSALINE_AB_ERROR(EAbFileNotFound, EAbException, AbFileNotFound)
TESSALINE_AB_ERROR(EAbNoArchive, EAbException, AbNoArchive)
TESSALINE_AB_ERROR(EAbReadError, EAbZipException, AbReadError)
TESSALINE_AB_ERROR(EAbSpanningNotSupported, EAbException, AbSpanningNotSupported)
TESSALINE_AB_ERROR(EAbBBSSeekOutsideBuffer, EAbZipException, AbBBSSeekOutsideBuffer)
TESSALINE_AB_ERROR(EAbBBSInvalidOrigin, EAbZipException, AbBBSInvalidOrigin)

TESSALINE_AB_ERROR(EAbZipOverlap, EAbZipException, AbZipOverlap)
TESSALINE_AB_ERROR(EAbZipSizeExceeded, EAbZipException, AbZipSizeExceeded)
TESSALINE_AB_ERROR(EAbZipBadExtraField, EAbZipException, AbZipBadExtraField)
TESSALINE_AB_ERROR(EAbZipTooLargeForMethod, EAbZipException, AbZipTooLargeForMethod)
TESSALINE_AB_ERROR(EAbZipPastCompressedSize, EAbZipException, AbZipPastCompressedSize)
TESSALINE_AB_ERROR(EAbZipStoredSizesDiffer, EAbZipException, AbZipStoredSizesDiffer)
TESSALINE_AB_ERROR(EAbZipWinZipAes, EAbZipException, AbZipWinZipAes)
TESSALINE_AB_ERROR(EAbZipAesAuthentication, EAbZipException, AbZipAesAuthentication)

#undef TESSALINE_AB_ERROR

// The file is no ZIP archive, or one too damaged to read.
class EAbZipInvalid : public EAbZipException {
 public:
  EAbZipInvalid() : EAbZipException(AbErrZipInvalid, {}) {}

 protected:
  using EAbZipException::EAbZipException;
};

// One part of an archive split over several files: a kind of invalid file
// for every reader that takes whole archives only, named as what it is.
class EAbZipMultiPart : public EAbZipInvalid {
 public:
  EAbZipMultiPart() : EAbZipInvalid(AbZipMultiPart, {}) {}
};

// A directory whose entries are not the ones its end record counts and
// sizes: a reader trusting one or the other would see different members.
class EAbZipDirectoryMismatch : public EAbZipInvalid {
 public:
  EAbZipDirectoryMismatch() : EAbZipInvalid(AbZipDirectoryMismatch, {}) {}
};

// A method this reader does not decode, named.
class EAbZipMethodNotRead : public EAbZipException {
 public:
  explicit EAbZipMethodNotRead(uint16_t method)
      : EAbZipException(AbZipMethodNotRead, {int32_t{method}, UnreadMethodName(method)}) {}
};

class EAbZipUnknownCharset : public EAbZipException {
 public:
  explicit EAbZipUnknownCharset(const std::string& charset)
      : EAbZipException(AbZipUnknownCharset, {charset}) {}
};

// The classes whose message takes arguments.
class EAbBBSReadTooManyBytes : public EAbZipException {
 public:
  explicit EAbBBSReadTooManyBytes(int32_t count)
      : EAbZipException(AbBBSReadTooManyBytes, {count}) {}
};
class EAbBBSWriteTooManyBytes : public EAbZipException {
 public:
  explicit EAbBBSWriteTooManyBytes(int32_t count)
      : EAbZipException(AbBBSWriteTooManyBytes, {count}) {}
};
class EAbVMSInvalidOrigin : public EAbZipException {
 public:
  explicit EAbVMSInvalidOrigin(int32_t origin) : EAbZipException(AbVMSInvalidOrigin, {origin}) {}
};
class EAbVMSErrorOpenSwap : public EAbZipException {
 public:
  explicit EAbVMSErrorOpenSwap(const std::string& file)
      : EAbZipException(AbVMSErrorOpenSwap, {file}) {}
};
class EAbVMSSeekFail : public EAbZipException {
 public:
  explicit EAbVMSSeekFail(const std::string& file) : EAbZipException(AbVMSSeekFail, {file}) {}
};
class EAbVMSReadFail : public EAbZipException {
 public:
  EAbVMSReadFail(int32_t count, const std::string& file)
      : EAbZipException(AbVMSReadFail, {count, file}) {}
};
class EAbVMSWriteFail : public EAbZipException {
 public:
  EAbVMSWriteFail(int32_t count, const std::string& file)
      : EAbZipException(AbVMSWriteFail, {count, file}) {}
};

// A stored name that would place a file outside the base folder when stored
// paths are restored (a `..` part, a leading `\`, a drive).
class EAbZipUnsafeName : public EAbZipException {
 public:
  explicit EAbZipUnsafeName(const std::string& name)
      : EAbZipUnsafeName(name, "name leads outside the target folder") {}
  // What is wrong with the name, in a few words ("absolute path").
  EAbZipUnsafeName(const std::string& name, const std::string& fault)
      : EAbZipException("Cannot extract file - " + fault + ": " + name), fault_(fault) {}
  // The message without the name, for a caller that shows the name itself.
  std::string Refusal() const { return "Cannot extract file - " + fault_; }

 private:
  std::string fault_;
};

enum TAbFailureKind : uint8_t {
  fkArchive = 0,
  fkInOut = 1,
  fkFiler = 2,
  fkFileCreate = 3,
  fkFileOpen = 4,
  fkOther = 6,
};

struct TAbFailure {
  TAbFailureKind kind = fkOther;
  int32_t number = 0;
};

// The kind and number of any exception; never fails.
TAbFailure ClassifyFailure(const std::exception& error);

}  // namespace ab
