// The archive reader's error numbers and its message table.
#pragma once

#include <cstdint>
#include <string>

namespace ab {

enum AbErrorNumber : int32_t {
  AbZipVersionNeeded = 1,
  AbUnknownCompressionMethod = 2,
  AbNoExtractionMethod = 3,
  AbInvalidPassword = 4,
  AbNoInsertionMethod = 5,
  AbInvalidFactor = 6,
  AbUserAbort = 9,
  AbDiskRequest = 11,
  AbLastDiskRequest = 12,
  AbBadSpanStream = 13,
  AbDiskNumRequest = 14,
  AbNoOverwriteSpan = 15,
  AbNoSuchDirectory = 19,
  AbBadStream = 21,
  AbZipBadCRC = 23,
  AbFileNotFound = 25,
  AbNoArchive = 27,
  AbErrZipInvalid = 28,
  AbReadError = 29,
  AbImageRequest = 34,
  AbSpanningNotSupported = 36,
  AbImageNumRequest = 37,
  AbBBSReadTooManyBytes = 40,
  AbBBSSeekOutsideBuffer = 41,
  AbBBSInvalidOrigin = 42,
  AbBBSWriteTooManyBytes = 43,
  AbZipMultiPart = 50,
  AbZipOverlap = 51,
  AbZipSizeExceeded = 52,
  AbZipBadExtraField = 53,
  AbZipUnknownCharset = 54,
  AbZipTooLargeForMethod = 55,
  AbZipPastCompressedSize = 56,
  AbZipStoredSizesDiffer = 57,
  AbZipDirectoryMismatch = 58,
  AbZipWinZipAes = 59,
  AbZipMethodNotRead = 60,
  AbZipMissingPart = 61,
  AbZipAesAuthentication = 62,
  AbVMSInvalidOrigin = 201,
  AbVMSErrorOpenSwap = 202,
  AbVMSSeekFail = 203,
  AbVMSReadFail = 204,
  AbVMSWriteFail = 205,
};

// Assigns the table's text for the number to text; leaves text unchanged when
// the table has no such row.
void MessageForCode(int32_t number, std::string& text);

// The name of a compression method this reader does not decode, as the
// format's registry gives it ("LZMA" for 14), or "unknown".
const char* UnreadMethodName(uint16_t method);

}  // namespace ab
