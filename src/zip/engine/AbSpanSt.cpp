#include "zip/engine/AbSpanSt.h"

#include "zip/engine/AbExcept.h"

namespace ab {

TAbSpanStream::TAbSpanStream(const std::string& fileName, uint16_t mode, TAbMediaType mediaType,
                             int32_t threshold)
    : mediaType_(mediaType), threshold_(threshold), fileName_(fileName), fileMode_(mode) {
  if (fileName.find("\\\\") == std::string::npos && fileName.find(':') == std::string::npos)
    throw EAbException("Full Path Required");
  if (mode == rtl::fmCreate || (mode & 0x0003) != 0) {
    spanMode_ = smWriting;
    throw EAbException("Cannot open " + fileName + " for writing: archives are read only");
  }
  file_ = std::make_unique<rtl::TFileStream>(fileName, mode);
}

int32_t TAbSpanStream::Read(void* buffer, int32_t count) {
  return file_->Read(buffer, count);
}

int32_t TAbSpanStream::Write(const void*, int32_t) {
  return 0;
}

int64_t TAbSpanStream::Seek(int64_t offset, int origin) {
  return file_->Seek(offset, origin);
}

int64_t TAbSpanStream::Size() {
  return file_->Size();
}

}  // namespace ab
