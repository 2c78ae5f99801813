#include "zip/engine/AbExcept.h"

#include "rtl/Format.h"

namespace ab {

EAbException::EAbException(int32_t number,
                           std::initializer_list<rtl::FormatArg> args)
    : rtl::Exception([&] {
        std::string text;
        MessageForCode(number, text);
        return rtl::Format(text, args);
      }()),
      errorNumber_(number) {}

TAbFailure ClassifyFailure(const std::exception& error) {
  if (const auto* archive = dynamic_cast<const EAbException*>(&error))
    return {fkArchive, archive->ErrorNumber()};
  if (const auto* io = dynamic_cast<const rtl::EInOutError*>(&error))
    return {fkInOut, io->ErrorCode()};
  if (dynamic_cast<const rtl::EFilerError*>(&error) != nullptr) return {fkFiler, 0};
  if (dynamic_cast<const rtl::EFOpenError*>(&error) != nullptr) return {fkFileOpen, 0};
  if (dynamic_cast<const rtl::EFCreateError*>(&error) != nullptr) return {fkFileCreate, 0};
  return {fkOther, 0};
}

}  // namespace ab
