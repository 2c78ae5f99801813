// Reads of the current user hive through advapi32.
#include <windows.h>

#include "os/os.h"

namespace os {

namespace {

void Close(void* handle) {
  if (handle != nullptr) ::RegCloseKey(static_cast<HKEY>(handle));
}

}  // namespace

RegistryKey::~RegistryKey() {
  Close(handle_);
}

RegistryKey::RegistryKey(RegistryKey&& other) noexcept : handle_(other.handle_) {
  other.handle_ = nullptr;
}

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    Close(handle_);
    handle_ = other.handle_;
    other.handle_ = nullptr;
  }
  return *this;
}

std::optional<RegistryValue> RegistryKey::Query(const std::string& name) const {
  if (handle_ == nullptr) return std::nullopt;
  const HKEY key = static_cast<HKEY>(handle_);
  DWORD type = REG_NONE;
  DWORD size = 0;
  if (::RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return std::nullopt;
  RegistryValue value;
  value.type = type;
  if (size == 0) return value;
  value.data.resize(size);
  // The value may have grown since its size was asked; ask again with room.
  for (int attempt = 0; attempt < 4; ++attempt) {
    size = static_cast<DWORD>(value.data.size());
    const LONG result =
        ::RegQueryValueExA(key, name.c_str(), nullptr, &type, value.data.data(), &size);
    if (result == ERROR_SUCCESS) {
      value.type = type;
      value.data.resize(size);
      return value;
    }
    if (result != ERROR_MORE_DATA) break;
    value.data.resize(static_cast<size_t>(size) + 1);
  }
  return RegistryValue{kRegUnreadable, {}};
}

RegistryKey OpenCurrentUserKey(const std::string& path, uint32_t access) {
  RegistryKey result;
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, access, &key) == ERROR_SUCCESS)
    result.handle_ = key;
  return result;
}

}  // namespace os
