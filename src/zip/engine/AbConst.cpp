#include "zip/engine/AbConst.h"

#include <iterator>

namespace ab {

namespace {

struct MessageRow {
  int32_t number;
  const char* text;
};

constexpr MessageRow kMessages[] = {
    {AbZipVersionNeeded, "Cannot extract file - newer version required"},
    {AbUnknownCompressionMethod, "Cannot extract file - unsupported compression method"},
    {AbNoExtractionMethod, "Cannot extract file - no extraction support provided"},
    {AbInvalidPassword, "Cannot extract file - invalid password"},
    {AbNoInsertionMethod, "Cannot insert file - no insertion support provided"},
    {AbInvalidFactor, "Invalid Reduce Factor"},
    {AbUserAbort, "Process aborted by user"},
    {AbDiskRequest, "Insert floppy"},
    {AbLastDiskRequest, "Insert the last disk in the spanned disk set"},
    {AbBadSpanStream, "Spanned archives must be opened as file streams"},
    {AbDiskNumRequest, "Insert disk number %d of the spanned disk set"},
    {AbNoOverwriteSpan, "Cannot update an existing spanned disk set"},
    {AbNoSuchDirectory, "Directory does not exist"},
    {AbBadStream, "Invalid Stream"},
    {AbZipBadCRC, "Failed CRC Check"},
    {AbFileNotFound, "File not found"},
    {AbNoArchive, "Archive does not exist - FileName is blank"},
    {AbErrZipInvalid, "Invalid file - not a PKZip file"},
    {AbReadError, "Error reading archive"},
    {AbImageRequest, "Image file name"},
    {AbSpanningNotSupported, "Spanning not supported by this Archive type"},
    {AbImageNumRequest, "Insert span number %d of the spanned file set"},
    {AbBBSReadTooManyBytes, "BBS: request to read too many bytes [%d]"},
    {AbBBSSeekOutsideBuffer, "BBS: New position is outside the buffer"},
    {AbBBSInvalidOrigin, "BBS: Invalid Origin value"},
    {AbBBSWriteTooManyBytes, "BBS: request to write too many bytes [%d]"},
    {AbZipMultiPart,
     "Invalid file - one part of a multi-part (split) archive, which cannot be read alone"},
    {AbZipOverlap,
     "Cannot extract file - members overlap one another or the central directory (possible zip "
     "bomb)"},
    {AbZipSizeExceeded, "Cannot extract file - more data than the size the archive declares"},
    {AbZipBadExtraField, "Cannot extract file - bad extra-field entry"},
    {AbZipUnknownCharset, "Unknown character set for member names: %s"},
    {AbZipTooLargeForMethod, "Cannot extract file - too large for its compression method"},
    {AbZipPastCompressedSize, "Cannot extract file - data runs past the member's compressed size"},
    {AbZipStoredSizesDiffer,
     "Cannot extract file - a stored member's compressed and uncompressed sizes differ"},
    {AbZipMethodNotRead, "Cannot extract file - unsupported compression method %d (%s)"},
    {AbZipWinZipAes, "Cannot extract file - unsupported encryption (WinZip AES)"},
    {AbZipAesAuthentication,
     "Cannot extract file - the data was changed: its authentication code does not match"},
    {AbZipDirectoryMismatch,
     "Invalid file - the central directory disagrees with the end record's count or size"},
    {AbVMSInvalidOrigin, "VMS: invalid origin %d, should be 0, 1, 2"},
    {AbVMSErrorOpenSwap, "VMS: Cannot open swap file %s"},
    {AbVMSSeekFail, "VMS: Failed to seek in swap file %s"},
    {AbVMSReadFail, "VMS: Failed to read %d bytes from swap file %s"},
    {AbVMSWriteFail, "VMS: Failed to write %d bytes to swap file %s"},
};

}  // namespace

void MessageForCode(int32_t number, std::string& text) {
  for (const MessageRow& row : kMessages) {
    if (row.number == number) {
      text = row.text;
      return;
    }
  }
}

const char* UnreadMethodName(uint16_t method) {
  switch (method) {
    case 7:
      return "Tokenize";
    case 10:
      return "PKWARE DCL Implode";
    case 12:
      return "bzip2";
    case 14:
      return "LZMA";
    case 16:
      return "IBM z/OS CMPSC";
    case 18:
      return "IBM TERSE";
    case 19:
      return "IBM LZ77";
    case 20:
    case 93:
      return "Zstandard";
    case 94:
      return "MP3";
    case 95:
      return "XZ";
    case 96:
      return "JPEG";
    case 97:
      return "WavPack";
    case 98:
      return "PPMd";
    default:
      return "unknown";
  }
}

}  // namespace ab
