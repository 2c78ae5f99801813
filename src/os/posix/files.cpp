// File and file-system calls of the stand-in, on POSIX file descriptors.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "os/os.h"
#include "os/posix/paths.h"

namespace os {

namespace {

thread_local uint32_t lastError = 0;

// The Windows code that stands for an errno value.
uint32_t WindowsError(int error) {
  switch (error) {
    case ENOENT: return 2;   // ERROR_FILE_NOT_FOUND
    case ENOTDIR: return 3;  // ERROR_PATH_NOT_FOUND
    case EACCES:
    case EPERM:
    case EROFS: return 5;    // ERROR_ACCESS_DENIED
    case EEXIST: return 183; // ERROR_ALREADY_EXISTS
    case ENOSPC: return 112; // ERROR_DISK_FULL
    case ENAMETOOLONG: return 206;
    case ENOTEMPTY: return 145;
    default: return 31;      // ERROR_GEN_FAILURE
  }
}

bool Fail() {
  lastError = WindowsError(errno);
  return false;
}

}  // namespace

uint32_t LastError() { return lastError; }

FileHandle OpenExistingFile(const std::string& path, uint16_t mode) {
  int flags = O_RDONLY;
  if ((mode & 3) == 1) flags = O_WRONLY;
  if ((mode & 3) == 2) flags = O_RDWR;
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    lastError = 5;
    return {};
  }
  const int fd = ::open(native.c_str(), flags | O_CLOEXEC);
  if (fd < 0) Fail();
  return FileHandle{fd};
}

FileHandle CreateNewFile(const std::string& path) {
  const std::string native = posix::NativePathForCreate(path);
  const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail();
  return FileHandle{fd};
}

int32_t ReadFile(FileHandle file, void* buffer, int32_t count) {
  if (count < 0) return -1;
  int32_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(static_cast<int>(file.value), bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail();
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t WriteFile(FileHandle file, const void* buffer, int32_t count) {
  if (count < 0) return -1;
  int32_t done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(static_cast<int>(file.value), bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail();
      return done > 0 ? done : -1;
    }
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t SeekFile(FileHandle file, int64_t offset, int origin) {
  const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  const off_t at = ::lseek(static_cast<int>(file.value), offset, whence);
  if (at < 0) {
    Fail();
    return -1;
  }
  return at;
}

void CloseFile(FileHandle file) {
  if (file.Valid()) ::close(static_cast<int>(file.value));
}

bool SetLastWriteTimeFromDos(FileHandle file, uint16_t dosDate, uint16_t dosTime) {
  std::tm local{};
  local.tm_year = ((dosDate >> 9) & 0x7F) + 80;
  local.tm_mon = ((dosDate >> 5) & 0x0F) - 1;
  local.tm_mday = dosDate & 0x1F;
  local.tm_hour = (dosTime >> 11) & 0x1F;
  local.tm_min = (dosTime >> 5) & 0x3F;
  local.tm_sec = (dosTime & 0x1F) * 2;
  local.tm_isdst = -1;
  // DosDateTimeToFileTime refuses fields out of range.
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 ||
      local.tm_min > 59 || local.tm_sec > 59) {
    lastError = 87;  // ERROR_INVALID_PARAMETER
    return false;
  }
  const std::time_t when = std::mktime(&local);
  if (when == static_cast<std::time_t>(-1)) return Fail();
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = when;
  times[1].tv_nsec = 0;
  if (::futimens(static_cast<int>(file.value), times) != 0) return Fail();
  return true;
}

std::optional<int64_t> LastWriteTime(const std::string& path) {
  struct stat st {};
  if (::stat(posix::NativePath(path).c_str(), &st) != 0) {
    Fail();
    return std::nullopt;
  }
  return static_cast<int64_t>(st.st_mtime);
}

uint32_t FileAttributes(const std::string& path) {
  struct stat st {};
  if (::stat(posix::NativePath(path).c_str(), &st) != 0) {
    Fail();
    return kInvalidFileAttributes;
  }
  if (S_ISDIR(st.st_mode)) return faDirectory;
  uint32_t attributes = posix::StoredAttributes(posix::NativePath(path));
  if ((st.st_mode & S_IWUSR) == 0) attributes |= faReadOnly;
  return attributes == 0 ? faNormal : attributes;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return Fail();
  mode_t mode = st.st_mode & 07777;
  mode = (attributes & faReadOnly) ? (mode & ~0222) : (mode | S_IWUSR);
  if (::chmod(native.c_str(), mode) != 0) return Fail();
  posix::StoreAttributes(native, attributes & ~(faReadOnly | faDirectory | faNormal));
  return true;
}

bool MakeDirectory(const std::string& path) {
  if (::mkdir(posix::NativePathForCreate(path).c_str(), 0777) != 0) return Fail();
  return true;
}

bool RemoveDirectory(const std::string& path) {
  if (::rmdir(posix::NativePath(path).c_str()) != 0) return Fail();
  return true;
}

bool RemoveFile(const std::string& path) {
  if (::unlink(posix::NativePath(path).c_str()) != 0) return Fail();
  return true;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const int in = ::open(posix::NativePath(from).c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail();
  int flags = O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC;
  if (failIfExists) flags |= O_EXCL;
  const int out = ::open(posix::NativePathForCreate(to).c_str(), flags, 0666);
  if (out < 0) {
    Fail();
    ::close(in);
    return false;
  }
  char buffer[64 * 1024];
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0 || ::write(out, buffer, static_cast<size_t>(n)) != n) {
      ok = Fail();
      break;
    }
  }
  ::close(in);
  if (::close(out) != 0) ok = Fail();
  return ok;
}

bool MoveFile(const std::string& from, const std::string& to) {
  const std::string target = posix::NativePathForCreate(to);
  struct stat st {};
  if (::lstat(target.c_str(), &st) == 0) {
    lastError = 183;  // ERROR_ALREADY_EXISTS
    return false;
  }
  if (::rename(posix::NativePath(from).c_str(), target.c_str()) != 0) return Fail();
  return true;
}

uint32_t DriveType(const std::string& root) {
  struct stat st {};
  if (root.empty() || ::stat(posix::NativePath(root.substr(0, 2) + "\\").c_str(), &st) != 0)
    return kDriveNoRootDir;
  return kDriveFixed;
}

std::string ModuleFileName() {
  char buffer[4096];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return posix::WindowsPath(std::string(buffer, static_cast<size_t>(n)));
}

}  // namespace os
