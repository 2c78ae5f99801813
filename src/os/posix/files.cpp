// File and file-system calls of the stand-in, on POSIX file descriptors. They
// answer as Windows does: its error codes, its read-only rule (even for root),
// copies that keep the source's stamp and attributes, moves that never replace.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include "os/os.h"
#include "os/posix/paths.h"

namespace os {

namespace {

enum : uint32_t {
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotSameDevice = 17,
  kErrorGenFailure = 31,
  kErrorSharingViolation = 32,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorNegativeSeek = 131,
  kErrorDirNotEmpty = 145,
  kErrorAlreadyExists = 183,
  kErrorFilenameTooLong = 206,
  kErrorDirectory = 267,
};

thread_local uint32_t lastError = 0;

bool SetError(uint32_t code) {
  lastError = code;
  return false;
}

bool IsFolder(const std::string& native) {
  struct stat st {};
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether the folder that would hold native exists: Windows tells a missing
// file (2) from a missing folder on the way to it (3).
bool ParentExists(std::string native) {
  while (native.size() > 1 && native.back() == '/') native.pop_back();
  const size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return false;
  return IsFolder(slash == 0 ? "/" : native.substr(0, slash));
}

uint32_t WindowsError(int error, const std::string& native) {
  switch (error) {
    case ENOENT:
      return ParentExists(native) ? kErrorFileNotFound : kErrorPathNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kErrorAccessDenied;
    case EEXIST:
      return kErrorAlreadyExists;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return kErrorDiskFull;
    case ENAMETOOLONG:
      return kErrorFilenameTooLong;
    case ENOTEMPTY:
      return kErrorDirNotEmpty;
    case EBADF:
      return kErrorInvalidHandle;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    case EINVAL:
      return kErrorInvalidParameter;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    case EXDEV:
      return kErrorNotSameDevice;
    default:
      return kErrorGenFailure;
  }
}

bool Fail(const std::string& native) {
  return SetError(WindowsError(errno, native));
}

// A descriptor call failed: EBADF on an open descriptor means the handle
// lacks the access asked for.
bool FailOnHandle(FileHandle file) {
  const int error = errno;
  if (error == EBADF && ::fcntl(static_cast<int>(file.value), F_GETFD) != -1)
    return SetError(kErrorAccessDenied);
  return SetError(WindowsError(error, std::string()));
}

// Windows' read-only attribute binds every user; root's Linux does not.
bool IsReadOnlyFile(const struct stat& st) {
  return S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0;
}

bool SameEntry(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

}  // namespace

bool posix::WriteAll(int fd, const char* bytes, size_t count) {
  while (count > 0) {
    const ssize_t n = ::write(fd, bytes, count);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    count -= static_cast<size_t>(n);
  }
  return true;
}

namespace {

// Copies the data, the permission bits (read-only among them), the stored
// DOS attributes and the last-write time of in to the file out.
bool CopyContents(int in, const struct stat& source, int out) {
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    if (!posix::WriteAll(out, buffer.data(), static_cast<size_t>(n))) return false;
  }
  char value[32];
  const ssize_t length = ::fgetxattr(in, "user.DOSATTRIB", value, sizeof value);
  if (length > 0) ::fsetxattr(out, "user.DOSATTRIB", value, static_cast<size_t>(length), 0);
  const struct timespec times[2] = {source.st_atim, source.st_mtim};
  return ::futimens(out, times) == 0 && ::fchmod(out, source.st_mode & 07777) == 0;
}

// Copies source to target through a temporary file next to it, so that a
// failed copy leaves neither a partial target nor a damaged old one.
bool CopyThroughTemporary(const std::string& source, const struct stat& sourceStat,
                          const std::string& target) {
  const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(source);
  static int counter = 0;
  std::string temporary;
  int out = -1;
  for (int attempt = 0; attempt < 100 && out < 0; ++attempt) {
    temporary = target + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
    out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0 && errno != EEXIST) break;
  }
  if (out < 0) {
    Fail(target);
    ::close(in);
    return false;
  }
  bool ok = CopyContents(in, sourceStat, out);
  if (!ok) Fail(target);
  ::close(in);
  if (::close(out) != 0 && ok) ok = Fail(target);
  if (ok && ::rename(temporary.c_str(), target.c_str()) != 0) ok = Fail(target);
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace

uint32_t LastError() {
  return lastError;
}

FileHandle OpenExistingFile(const std::string& path, uint16_t mode) {
  const unsigned access = mode & 3;
  const unsigned share = (mode >> 4) & 7;
  if (access > 2 || share > 4) {
    SetError(kErrorInvalidParameter);
    return {};
  }
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) {
    Fail(native);
    return {};
  }
  if (S_ISDIR(st.st_mode) || (access != 0 && IsReadOnlyFile(st))) {
    SetError(kErrorAccessDenied);
    return {};
  }
  const int flags = access == 0 ? O_RDONLY : access == 1 ? O_WRONLY : O_RDWR;
  const int fd = ::open(native.c_str(), flags | O_CLOEXEC);
  if (fd < 0) Fail(native);
  return FileHandle{fd};
}

FileHandle CreateNewFile(const std::string& path) {
  const std::string native = posix::NativePathForCreate(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) == 0 && (S_ISDIR(st.st_mode) || IsReadOnlyFile(st))) {
    SetError(kErrorAccessDenied);
    return {};
  }
  const int fd = ::open(native.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) Fail(native);
  return FileHandle{fd};
}

int32_t ReadFile(FileHandle file, void* buffer, int32_t count) {
  if (count < 0) return SetError(kErrorInvalidParameter), -1;
  int32_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::read(static_cast<int>(file.value), bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailOnHandle(file);
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += static_cast<int32_t>(n);
  }
  return done;
}

int32_t WriteFile(FileHandle file, const void* buffer, int32_t count) {
  if (count < 0) return SetError(kErrorInvalidParameter), -1;
  int32_t done = 0;
  const auto* bytes = static_cast<const char*>(buffer);
  while (done < count) {
    const ssize_t n = ::write(static_cast<int>(file.value), bytes + done, count - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      FailOnHandle(file);
      return done > 0 ? done : -1;
    }
    done += static_cast<int32_t>(n);
  }
  return done;
}

int64_t SeekFile(FileHandle file, int64_t offset, int origin) {
  if (origin < 0 || origin > 2) return SetError(kErrorInvalidParameter), -1;
  const int whence = origin == 1 ? SEEK_CUR : origin == 2 ? SEEK_END : SEEK_SET;
  const off_t at = ::lseek(static_cast<int>(file.value), offset, whence);
  if (at < 0) {
    if (errno == EINVAL) return SetError(kErrorNegativeSeek), -1;
    FailOnHandle(file);
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
  // The fields Windows refuses; a day past the month's end rolls over into
  // the next month, as it does there.
  if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 || local.tm_hour > 23 ||
      local.tm_min > 59 || local.tm_sec > 59)
    return SetError(kErrorInvalidParameter);
  const std::time_t when = std::mktime(&local);
  if (when == static_cast<std::time_t>(-1)) return SetError(kErrorInvalidParameter);
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = when;
  times[1].tv_nsec = 0;
  if (::futimens(static_cast<int>(file.value), times) != 0) return FailOnHandle(file);
  return true;
}

std::optional<int64_t> LastWriteTime(const std::string& path) {
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) {
    Fail(native);
    return std::nullopt;
  }
  return static_cast<int64_t>(st.st_mtime);
}

uint32_t FileAttributes(const std::string& path) {
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) {
    Fail(native);
    return kInvalidFileAttributes;
  }
  const uint32_t stored = posix::StoredAttributes(native);
  if (S_ISDIR(st.st_mode)) return faDirectory | stored;
  // Like Wine, every file carries the archive bit.
  const uint32_t readOnly = (st.st_mode & 0222) == 0 ? static_cast<uint32_t>(faReadOnly) : 0;
  return faArchive | stored | readOnly;
}

bool SetFileAttributes(const std::string& path, uint32_t attributes) {
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return Fail(native);
  if (!S_ISDIR(st.st_mode)) {
    mode_t mode = st.st_mode & 07777;
    if (attributes & faReadOnly) {
      mode &= ~0222;
    } else if ((mode & 0222) == 0) {
      mode |= (mode & 0444) >> 1;  // writable wherever readable
    }
    if (mode != (st.st_mode & 07777) && ::chmod(native.c_str(), mode) != 0) return Fail(native);
  }
  posix::StoreAttributes(native, attributes);
  return true;
}

bool MakeDirectory(const std::string& path) {
  const std::string native = posix::NativePathForCreate(path);
  if (::mkdir(native.c_str(), 0777) != 0) return Fail(native);
  return true;
}

bool RemoveDirectory(const std::string& path) {
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::lstat(native.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !IsFolder(native))
    return SetError(kErrorDirectory);
  if (::rmdir(native.c_str()) != 0) {
    if (errno == EEXIST) return SetError(kErrorDirNotEmpty);
    return Fail(native);
  }
  return true;
}

bool RemoveFile(const std::string& path) {
  const std::string native = posix::NativePath(path);
  struct stat st {};
  if (::lstat(native.c_str(), &st) != 0) return Fail(native);
  if (S_ISDIR(st.st_mode) || IsReadOnlyFile(st)) return SetError(kErrorAccessDenied);
  if (::unlink(native.c_str()) != 0) return Fail(native);
  return true;
}

bool CopyFile(const std::string& from, const std::string& to, bool failIfExists) {
  const std::string source = posix::NativePath(from);
  struct stat sourceStat {};
  if (::stat(source.c_str(), &sourceStat) != 0) return Fail(source);
  if (S_ISDIR(sourceStat.st_mode)) return SetError(kErrorAccessDenied);
  const std::string target = posix::NativePathForCreate(to);
  struct stat targetStat {};
  if (::stat(target.c_str(), &targetStat) == 0) {
    // Copying a file onto itself would truncate it before reading it.
    if (SameEntry(sourceStat, targetStat)) return SetError(kErrorSharingViolation);
    if (S_ISDIR(targetStat.st_mode) || IsReadOnlyFile(targetStat))
      return SetError(kErrorAccessDenied);
    if (failIfExists) return SetError(kErrorFileExists);
  } else if (errno != ENOENT) {
    return Fail(target);
  } else if (!ParentExists(target)) {
    return SetError(kErrorPathNotFound);
  }
  return CopyThroughTemporary(source, sourceStat, target);
}

bool MoveFile(const std::string& from, const std::string& to) {
  const std::string source = posix::NativePath(from);
  struct stat sourceStat {};
  if (::lstat(source.c_str(), &sourceStat) != 0) return Fail(source);
  std::string target = posix::NativePathForCreate(to);
  struct stat targetStat {};
  if (::lstat(target.c_str(), &targetStat) == 0) {
    if (!SameEntry(sourceStat, targetStat)) return SetError(kErrorAlreadyExists);
    // The same file under another spelling: a change of case only.
    target = posix::NativePathAsSpelled(to);
    if (target == source) return true;
    if (::rename(source.c_str(), target.c_str()) != 0) return Fail(target);
    return true;
  }
  if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno == EINVAL && ::rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV || !S_ISREG(sourceStat.st_mode)) return Fail(target);
  // Another file system: copy, then remove the original, as Windows moves a
  // file to another volume.
  if (!CopyThroughTemporary(source, sourceStat, target)) return false;
  if (::unlink(source.c_str()) != 0) return Fail(source);
  return true;
}

bool MoveFileReplacing(const std::string& from, const std::string& to) {
  const std::string source = posix::NativePath(from);
  const std::string target = posix::NativePathForCreate(to);
  if (::rename(source.c_str(), target.c_str()) != 0) return Fail(target);
  return true;
}

uint32_t DriveType(const std::string& root) {
  // Only a drive letter names a drive here; network roots reach nothing.
  const bool isDrive = root.size() >= 2 && root[1] == ':' &&
                       ((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z'));
  if (!isDrive || !IsFolder(posix::NativePath(root.substr(0, 2) + "\\"))) return kDriveNoRootDir;
  return kDriveFixed;
}

std::string ModuleFileName() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n <= 0) return {};
    if (static_cast<size_t>(n) < buffer.size())
      return posix::WindowsPath(std::string(buffer.data(), static_cast<size_t>(n)));
    if (buffer.size() >= (1u << 20)) return {};
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace os
