// The archive's file stream. It reads one ordinary file; the part switching of
// multi-part sets is not offered (such sets are refused when the catalogue is
// read), so the stream is a thin, checked layer over a runtime file stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rtl/Stream.h"

namespace ab {

enum TAbSpanMode : uint8_t { smReading = 0, smWriting = 1 };
enum TAbMediaType : uint8_t { mtRemoveable = 0, mtLocal = 1 };

class TAbSpanStream : public rtl::TStream {
 public:
  // fileName must be a full path (hold "\\" or ':'), else EAbException "Full
  // Path Required". Modes with write access are refused: the reader never
  // writes, and opening an archive it is about to read for writing could only
  // damage it. A failed open raises rtl::EFOpenError.
  TAbSpanStream(const std::string& fileName, uint16_t mode, TAbMediaType mediaType,
                int32_t threshold);

  int32_t Read(void* buffer, int32_t count) override;
  // The stream is read-only: nothing is written.
  int32_t Write(const void* buffer, int32_t count) override;
  int64_t Seek(int64_t offset, int origin) override;
  int64_t Size() override;

  const std::string& FileName() const { return fileName_; }
  TAbSpanMode SpanMode() const { return spanMode_; }
  TAbMediaType MediaType() const { return mediaType_; }
  uint16_t FileMode() const { return fileMode_; }
  int32_t Threshold() const { return threshold_; }

 private:
  TAbSpanMode spanMode_ = smReading;
  TAbMediaType mediaType_;
  int32_t threshold_;
  std::string fileName_;
  std::unique_ptr<rtl::TFileStream> file_;
  uint16_t fileMode_;
};

}  // namespace ab
