// File and file-system calls on the real Windows API (kernel32, ANSI entry
// points). Paths and texts pass through unchanged: the program already holds
// them in the ANSI code page.
#include <windows.h>

// windows.h maps these names onto its A/W macros; the layer's own functions
// carry the same names.
#undef CopyFile
#undef MoveFile
#undef RemoveDirectory
#undef SetFileAttributes
#undef ReadFile
#undef WriteFile

#include <string>
#include <vector>

#include "os/os.h"

namespace os {

namespace {

HANDLE ToHandle(FileHandle file) {
  return reinterpret_cast<HANDLE>(file.value);
}

FileHandle FromHandle(HANDLE handle) {
  return FileHandle{reinterpret_cast<intptr_t>(handle)};
}

// The runtime's sharing modes: compatibility and exclusive share nothing,
// then deny write, deny read, deny none.
constexpr DWORD kShareModes[5] = {0, 0, FILE_SHARE_READ, FILE_SHARE_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE};
constexpr DWORD kAccessModes[3] = {GENERIC_READ, GENERIC_WRITE, GENERIC_READ | GENERIC_WRITE};

}  // namespace

uint32_t LastError() {
  return ::GetLastError();
}

FileHandle OpenExistingFile(const std::string& path, uint16_t mode) {
  const unsigned access = mode & 3;
  const unsigned share = (mode >> 4) & 7;
  if (access > 2 || share > 4) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return {};
  }
  return FromHandle(::CreateFileA(path.c_str(), kAccessModes[access], kShareModes[share], nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

FileHandle CreateNewFile(const std::string& path) {
  return FromHandle(::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

int32_t ReadFile(FileHandle file, void* buffer, int32_t count) {
  if (count < 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  DWORD done = 0;
  if (!::ReadFile(ToHandle(file), buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
  return static_cast<int32_t>(done);
}

int32_t WriteFile(FileHandle file, const void* buffer, int32_t count) {
  if (count < 0) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  DWORD done = 0;
  if (!::WriteFile(ToHandle(file), buffer, static_cast<DWORD>(count), &done, nullptr)) return -1;
  return static_cast<int32_t>(done);
}

int64_t SeekFile(FileHandle file, int64_t offset, int origin) {
  if (origin < 0 || origin > 2) {
    ::SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  static_assert(FILE_BEGIN == 0 && FILE_CURRENT == 1 && FILE_END == 2);
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  LARGE_INTEGER position;
  if (!::SetFilePointerEx(ToHandle(file), distance, &position, static_cast<DWORD>(origin)))
    return -1;
  return position.QuadPart;
}

void CloseFile(FileHandle file) {
  if (file.Valid()) ::CloseHandle(ToHandle(file));
}

bool SetLastWriteTimeFromDos(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  FILETIME local;
  FILETIME utc;
  if (!::DosDateTimeToFileTime(dosDate, dosTime, &local)) return false;
  if (!::LocalFileTimeToFileTime(&local, &utc)) return false;
  return ::SetFileTime(ToHandle(file), nullptr, nullptr, &utc) != FALSE;
}

std::optional<int64_t> LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  ULARGE_INTEGER ticks;
  ticks.LowPart = data.ftLastWriteTime.dwLowDateTime;
  ticks.HighPart = data.ftLastWriteTime.dwHighDateTime;
  // 100-nanosecond ticks since 1601 to seconds since 1970.
  constexpr int64_t kTicksPerSecond = 10000000;
  constexpr int64_t kSeconds1601To1970 = 11644473600;
  return static_cast<int64_t>(ticks.QuadPart / kTicksPerSecond) - kSeconds1601To1970;
}

uint32_t FileAttributes(const std::string& path) {
  return ::GetFileAttributesA(path.c_str());
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  return ::SetFileAttributesA(path.c_str(), attributes) != FALSE;
}

bool MakeDirectory(const std::string& path) {
  return ::CreateDirectoryA(path.c_str(), nullptr) != FALSE;
}

bool RemoveDirectory(const std::string& path) {
  return ::RemoveDirectoryA(path.c_str()) != FALSE;
}

bool RemoveFile(const std::string& path) {
  return ::DeleteFileA(path.c_str()) != FALSE;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  return ::CopyFileA(from.c_str(), to.c_str(), failIfExists ? TRUE : FALSE) != FALSE;
}

bool MoveFile(const std::string& from, const std::string& to) {
  return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  return ::MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

uint32_t DriveType(const std::string& root) {
  // "C:" alone would name the drive's current folder; the root is meant.
  std::string name = root;
  if (name.size() == 2 && name[1] == ':') name += '\\';
  // An empty text names no root (a null one would mean the current drive).
  return ::GetDriveTypeA(name.c_str());
}

std::string ModuleFileName() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD size = static_cast<DWORD>(buffer.size());
    const DWORD n = ::GetModuleFileNameA(nullptr, buffer.data(), size);
    if (n == 0) return {};
    // A result that fills the buffer may have been cut short.
    if (n < size) return std::string(buffer.data(), n);
    if (buffer.size() >= 0x10000) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace os
