// How the stand-in maps Windows paths onto the Linux file system, the way Wine
// does: drive letters through <prefix>/dosdevices, C: falling back to
// <prefix>/drive_c and Z: to /, `\` and `/` as separators, ASCII case ignored
// where the exact name is missing, Windows-1252 inside, UTF-8 outside.
#pragma once

#include <cstdint>
#include <string>

namespace os::posix {

// $WINEPREFIX, else ~/.wine.
std::string WinePrefix();

// The native path of an existing file or folder (each missing component
// matched without regard to ASCII case; what cannot be matched is kept).
std::string NativePath(const std::string& windowsPath);
// The same for a path about to be created: every component but the last
// must exist; the last is kept as given.
std::string NativePathForCreate(const std::string& windowsPath);
// A native absolute path in Windows form, Z:\... (UTF-8 to Windows-1252).
std::string WindowsPath(const std::string& nativePath);

std::string Win1252ToUtf8(const std::string& text);
// Characters outside Windows-1252 become '?'.
std::string Utf8ToWin1252(const std::string& text);

// DOS attribute bits beyond read-only and directory, kept in an extended
// attribute as Wine keeps them; faArchive when none were stored.
uint32_t StoredAttributes(const std::string& nativePath);
void StoreAttributes(const std::string& nativePath, uint32_t attributes);

}  // namespace os::posix
