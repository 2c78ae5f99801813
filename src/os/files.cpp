// The file calls that are the same on every platform, built on the others.
#include "os/os.h"

namespace os {

bool FileExists(const std::string& path) {
  const uint32_t attributes = FileAttributes(path);
  return attributes != kInvalidFileAttributes && (attributes & faDirectory) == 0;
}

bool RemoveFileForcibly(const std::string& path) {
  // A read-only file refuses to go until it is writable.
  SetFileAttributes(path, faNormal);
  return RemoveFile(path);
}

}  // namespace os
