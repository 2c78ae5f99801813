#include "rtl/Exception.h"

#include "rtl/Format.h"

namespace rtl {

EFCreateError::EFCreateError(const std::string& path)
    : EStreamError(Format("Cannot create file %s", {path})) {}

EFOpenError::EFOpenError(const std::string& path)
    : EStreamError(Format("Cannot open file %s", {path})) {}

EListError::EListError(int32_t index) : Exception(Format("List index out of bounds (%d)", {index})) {}

}  // namespace rtl
