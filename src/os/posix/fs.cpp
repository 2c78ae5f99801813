// os::fs on Linux outside the tree: UTF-8 paths are the file names' bytes,
// compared case-sensitively, with no drive letters and no Wine look-ups; the
// console takes UTF-8 as it is.
#include "os/fs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <iostream>
#include <system_error>

#include "os/posix/fs_errors.h"

namespace os::fs {

namespace posix {

namespace {
thread_local std::string lastErrorText;
}  // namespace

bool Fail(const std::string& text) {
  lastErrorText = text;
  return false;
}

bool FailWithErrno(const std::string& what) {
  const std::string reason = std::generic_category().message(errno);
  return Fail(what.empty() ? reason : what + ": " + reason);
}

}  // namespace posix

std::optional<FileTime> LocalToUtc(const LocalTime& local) {
  std::tm parts{};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;  // whatever daylight saving time said on that date
  const std::time_t seconds = std::mktime(&parts);
  // -1 is also one second before 1970 in UTC, which no caller asks about.
  if (seconds == static_cast<std::time_t>(-1)) {
    posix::Fail("no such local time");
    return std::nullopt;
  }
  return FileTime{static_cast<int64_t>(seconds), 0};
}

std::string LastErrorText() {
  return posix::lastErrorText;
}

Kind KindOf(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) return Kind::kMissing;
    posix::FailWithErrno(path);
    return Kind::kOther;
  }
  if (S_ISREG(st.st_mode)) return Kind::kFile;
  if (S_ISDIR(st.st_mode)) return Kind::kFolder;
  if (S_ISLNK(st.st_mode)) return Kind::kLink;
  return Kind::kOther;
}

std::optional<FileTime> ModifiedTime(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    posix::FailWithErrno(path);
    return std::nullopt;
  }
  return FileTime{st.st_mtim.tv_sec, static_cast<uint32_t>(st.st_mtim.tv_nsec)};
}

FileHandle OpenRead(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    posix::FailWithErrno(path);
    return {};
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    posix::Fail(path + ": is a folder");
    return {};
  }
  return FileHandle{fd};
}

int64_t ReadAt(FileHandle file, uint64_t offset, void* buffer, size_t count) {
  size_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    const ssize_t n = ::pread(static_cast<int>(file.value), bytes + done, count - done,
                              static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      posix::FailWithErrno("read");
      return -1;
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return static_cast<int64_t>(done);
}

std::optional<uint64_t> SizeOf(FileHandle file) {
  struct stat st {};
  if (::fstat(static_cast<int>(file.value), &st) != 0) {
    posix::FailWithErrno("stat");
    return std::nullopt;
  }
  return static_cast<uint64_t>(st.st_size);
}

bool CanReadAt(FileHandle file) {
  struct stat st {};
  return ::fstat(static_cast<int>(file.value), &st) == 0 &&
         (S_ISREG(st.st_mode) || S_ISBLK(st.st_mode));
}

FileHandle StandardInput() {
  return FileHandle{STDIN_FILENO};
}

int64_t ReadNext(FileHandle file, void* buffer, size_t count) {
  for (;;) {
    const ssize_t n = ::read(static_cast<int>(file.value), buffer, count);
    if (n >= 0) return n;
    if (errno != EINTR) {
      posix::FailWithErrno("read");
      return -1;
    }
  }
}

bool MakeFolders(const std::string& path) {
  if (path.empty()) return posix::Fail("no folder given");
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) {
    return S_ISDIR(st.st_mode) || posix::Fail(path + " exists and is not a folder");
  }
  const size_t slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash))) return false;
  if (::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST) return true;
  return posix::FailWithErrno(path);
}

std::string LegalName(const std::string& name) {
  std::string legal;
  for (const char c : name) {
    // Control characters would be written to every terminal that lists the
    // folder: dropped, as UnZip drops them.
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || byte == 0x7F) continue;
    legal += c == '/' ? '_' : c;
  }
  // What is left must still be a name of its own, not this folder or its parent.
  if (legal.empty() || legal == "." || legal == "..") legal = "_" + legal;
  return legal;
}

bool IsDeviceName(const std::string&) {
  return false;
}

std::string NameKey(const std::string& name) {
  return name;
}

}  // namespace os::fs

namespace os {

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}

std::ostream& Utf8Output(int stream) {
  return stream == 2 ? std::cerr : std::cout;
}

}  // namespace os
