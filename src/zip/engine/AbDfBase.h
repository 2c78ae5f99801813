// Shared pieces of the Deflate decoder: the options of one decode, the
// write-only log stream, Adler-32 and the decoder's exceptions.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "rtl/Exception.h"
#include "rtl/Stream.h"

namespace ab {

// The user asked to stop while a member was being inflated.
class EAbAbortProgress : public rtl::Exception {
 public:
  EAbAbortProgress() : rtl::Exception("Process aborted by user") {}
  explicit EAbAbortProgress(std::string message) : rtl::Exception(std::move(message)) {}
};

// Internal signal: the requested number of output bytes has been produced.
class EAbPartSizedInflate : public rtl::Exception {
 public:
  EAbPartSizedInflate() : rtl::Exception("") {}
};

class EAbInflatePasswordError : public rtl::Exception {
 public:
  EAbInflatePasswordError()
      : rtl::Exception("Inflate: stream is encrypted but passphrase is wrong") {}
};

// The decoder's own diagnosis; Inflate wraps it in EAbInflateError.
class EAbInternalInflateError : public rtl::Exception {
 public:
  using rtl::Exception::Exception;
};

class EAbInflateError : public rtl::Exception {
 public:
  explicit EAbInflateError(const std::string& internalMessage)
      : rtl::Exception("Inflate error, possibly a corrupted compressed stream. (Internal cause: " +
                       internalMessage + ")") {}
};

// Option bits of TAbDeflateHelper::DecodeFlags read by the decoder.
constexpr uint32_t dfcDeflate64 = 0x00000010;
constexpr uint32_t dfcUseAdler32 = 0x00000020;
constexpr uint32_t dfcTestOnly = 0x40000000;

// Called with the share of the input read so far, in percent (may exceed 100).
using TAbInputProgressEvent = std::function<void(int32_t percent)>;

// The options and results of one decode. The compression settings are kept
// for callers that share the record with a compressor; decoding ignores them.
class TAbDeflateHelper {
 public:
  // Copies every option; the two results (InputUsed, OutputMade) stay.
  void Assign(const TAbDeflateHelper& source);

  int32_t CompressionSetting1() const { return compressionSetting1_; }
  void SetCompressionSetting1(int32_t value) { compressionSetting1_ = value; }
  int32_t CompressionSetting2() const { return compressionSetting2_; }
  void SetCompressionSetting2(int32_t value) { compressionSetting2_ = value; }
  uint32_t CheckWord() const { return checkWord_; }
  void SetCheckWord(uint32_t value) { checkWord_ = value; }
  const std::string& LogName() const { return logName_; }
  void SetLogName(std::string value) { logName_ = std::move(value); }
  int32_t CompressionSetting3() const { return compressionSetting3_; }
  void SetCompressionSetting3(int32_t value) { compressionSetting3_ = value; }
  uint32_t DecodeFlags() const { return decodeFlags_; }
  // A different value makes the compression level unknown ('?').
  void SetDecodeFlags(uint32_t value);
  int32_t StopAfter() const { return stopAfter_; }
  void SetStopAfter(int32_t value) { stopAfter_ = value; }
  const std::string& PasswordText() const { return passwordText_; }
  void SetPasswordText(std::string value) { passwordText_ = std::move(value); }
  // The counts and the input size are 64-bit: a member may pass 4 GB.
  int64_t InputUsed() const { return inputUsed_; }
  void SetInputUsed(int64_t value) { inputUsed_ = value; }
  int64_t OutputMade() const { return outputMade_; }
  void SetOutputMade(int64_t value) { outputMade_ = value; }
  // -1: take the source stream's size.
  int64_t InputSize() const { return inputSize_; }
  void SetInputSize(int64_t value) { inputSize_ = value; }
  // The most bytes the decode may take from the source (a member's declared
  // compressed size, the encryption header included), or -1 for no bound.
  // A stream that needs more fails with EAbZipPastCompressedSize.
  int64_t InputLimit() const { return inputLimit_; }
  void SetInputLimit(int64_t value) { inputLimit_ = value; }
  int32_t CompressionWindow() const { return compressionWindow_; }
  void SetCompressionWindow(int32_t value) { compressionWindow_ = value; }
  char CompressionLevel() const { return compressionLevel_; }
  void SetCompressionLevel(char value) { compressionLevel_ = value; }

  TAbInputProgressEvent OnInputProgress;

 private:
  int32_t compressionSetting1_ = 8;
  int32_t compressionSetting2_ = 32;
  uint32_t checkWord_ = 0xFFFFFFFF;
  std::string logName_;
  int32_t compressionSetting3_ = 16;
  uint32_t decodeFlags_ = 0x0000000F;
  int32_t stopAfter_ = 0;
  std::string passwordText_;
  int64_t inputUsed_ = 0;
  int64_t outputMade_ = 0;
  int64_t inputSize_ = 0;
  int64_t inputLimit_ = -1;
  int32_t compressionWindow_ = 32768;
  char compressionLevel_ = 'n';
};

// A write-only stream on a newly created file, buffered 4096 bytes at a time.
class TAbLogger : public rtl::TStream {
 public:
  explicit TAbLogger(const std::string& fileName);
  ~TAbLogger() override;

  int32_t Read(void* buffer, int32_t count) override;
  int32_t Write(const void* buffer, int32_t count) override;
  // Only a zero move from the current position or the end: the position.
  int64_t Seek(int64_t offset, int origin) override;

  // The text followed by the line delimiter.
  void WriteLine(const std::string& text);
  const std::string& LineDelimiter() const { return lineDelimiter_; }
  void SetLineDelimiter(std::string value) { lineDelimiter_ = std::move(value); }
  void Flush();

 private:
  std::array<uint8_t, 4096> buffer_{};
  size_t bufferPos_ = 0;
  std::string lineDelimiter_ = "\r\n";
  std::unique_ptr<rtl::TFileStream> stream_;
  int64_t written_ = 0;
};

constexpr uint32_t kAdler32Start = 1;
// The running Adler-32 (modulus 65521) after the bytes.
uint32_t UpdateAdler32(uint32_t adler, const void* buffer, size_t count);

}  // namespace ab
