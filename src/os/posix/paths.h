// How the stand-in maps Windows paths onto the Linux file system, the way Wine
// does: drive letters through <prefix>/dosdevices, C: falling back to
// <prefix>/drive_c and Z: to /, `\` and `/` as separators, ASCII case ignored
// where the exact name is missing, Windows-1252 inside, UTF-8 outside.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace os::posix {

// $WINEPREFIX, else ~/.wine.
std::string WinePrefix();

// The native path of an existing file or folder (each missing component
// matched without regard to ASCII case; what cannot be matched is kept).
// "" for a path that names nothing on this machine (empty, or a network
// path), which every file call then fails on.
std::string NativePath(const std::string& windowsPath);
// The same for a path about to be created: an existing entry that differs
// only in case is the one returned, else the last component is kept as given.
std::string NativePathForCreate(const std::string& windowsPath);
// The native path with the last component spelled as given, even where an
// entry of another case exists (for a rename that changes only the case).
std::string NativePathAsSpelled(const std::string& windowsPath);
// A native absolute path in Windows form, Z:\... (UTF-8 to Windows-1252).
std::string WindowsPath(const std::string& nativePath);

// Writes all count bytes to fd, again after an interruption; false when it
// cannot.
bool WriteAll(int fd, const char* bytes, size_t count);

// The hidden and system bits of a file or folder, kept in the user.DOSATTRIB
// extended attribute as Wine keeps them ("0x%x"); a name that starts with a
// dot is hidden, as Wine shows it.
uint32_t StoredAttributes(const std::string& nativePath);
// Keeps the hidden and system bits of attributes (removes the extended
// attribute when neither is set). File systems without user extended
// attributes keep nothing.
void StoreAttributes(const std::string& nativePath, uint32_t attributes);

}  // namespace os::posix
