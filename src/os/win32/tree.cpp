// os::fs::Tree on Windows: wide calls on \\?\ paths below the tree's root.
// Each folder on the way is checked once (a reparse point, which a symbolic
// link or a junction is, is refused) and remembered by its case-folded name,
// as the file system compares names.
#include <windows.h>

#include <atomic>
#include <unordered_set>
#include <utility>
#include <vector>

#include "os/fs.h"
#include "os/win32/fs_support.h"

namespace os::fs {

namespace {

using win32::Fail;
using win32::FailWithLastError;
using win32::Wide;

bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool CheckNames(const Components& path) {
  for (const std::string& name : path) {
    if (!IsPlainName(name)) return Fail("not a plain file name: \"" + name + "\"");
  }
  return true;
}

std::string Join(const Components& path, size_t count) {
  std::string joined;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) joined += '/';
    joined += path[i];
  }
  return joined;
}

std::optional<FileIdentity> IdentityOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(handle, &info)) {
    FailWithLastError("");
    return std::nullopt;
  }
  return FileIdentity{info.dwVolumeSerialNumber,
                      (uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

std::wstring TemporaryName() {
  static std::atomic<uint64_t> counter{0};
  return L".tunzip-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
         std::to_wstring(counter++) + L".tmp";
}

class Win32PendingFile : public PendingFile {
 public:
  Win32PendingFile(std::wstring folder, std::wstring name, HANDLE handle)
      : folder_(std::move(folder)), name_(std::move(name)), handle_(handle) {}
  ~Win32PendingFile() override { Discard(); }

  bool Write(const void* bytes, size_t count) override {
    const auto* at = static_cast<const char*>(bytes);
    while (count > 0) {
      const DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
      DWORD written = 0;
      if (!::WriteFile(handle_, at, chunk, &written, nullptr) || written == 0)
        return FailWithLastError("");
      at += written;
      count -= written;
    }
    return true;
  }

  bool SetTimes(FileTime modified, std::optional<FileTime> accessed) override {
    const FILETIME write = win32::ToFileTime(modified);
    const FILETIME access = win32::ToFileTime(accessed.value_or(modified));
    return ::SetFileTime(handle_, nullptr, &access, &write) || FailWithLastError("");
  }

  bool SetMode(uint32_t) override { return true; }
  bool SetOwner(uint32_t, uint32_t) override { return true; }

  bool SetDosAttributes(uint32_t attributes) override {
    attributes_ = attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    return true;
  }

  bool Commit(const std::string& leaf) override {
    if (!IsPlainName(leaf)) return Fail("not a plain file name: \"" + leaf + "\"");
    if (handle_ == INVALID_HANDLE_VALUE) return Fail("the file is already closed");
    ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    const std::wstring from = folder_ + L"\\" + name_;
    const std::wstring to = folder_ + L"\\" + Wide(leaf);
    const bool moved = Move(from, to);
    if (!moved) {
      ::DeleteFileW(from.c_str());
      return false;
    }
    // The attributes go on last: a read-only file would refuse nothing the
    // rename needs, but its replacement next time would.
    if (attributes_ != 0 && !::SetFileAttributesW(to.c_str(), attributes_))
      return FailWithLastError("");
    return true;
  }

  void Discard() override {
    if (handle_ == INVALID_HANDLE_VALUE) return;
    ::CloseHandle(std::exchange(handle_, INVALID_HANDLE_VALUE));
    ::DeleteFileW((folder_ + L"\\" + name_).c_str());
  }

 private:
  // Replaces a file or a link at to, never a folder.
  static bool Move(const std::wstring& from, const std::wstring& to) {
    if (::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
    const DWORD code = ::GetLastError();
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    if (code != ERROR_ACCESS_DENIED || attributes == INVALID_FILE_ATTRIBUTES) {
      ::SetLastError(code);
      return FailWithLastError("");
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
        (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      // A link to a folder: the link goes, what it points to stays.
      if (!::RemoveDirectoryW(to.c_str())) return FailWithLastError("");
    } else if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      return Fail("a folder of that name is in the way");
    } else if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) {
      ::SetFileAttributesW(to.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
    }
    return ::MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) ||
           FailWithLastError("");
  }

  std::wstring folder_;
  std::wstring name_;
  HANDLE handle_;
  DWORD attributes_ = 0;
};

class Win32Tree : public Tree {
 public:
  explicit Win32Tree(std::wstring root) : root_(std::move(root)) {}

  Kind KindOf(const Components& path) override {
    if (path.empty()) return Kind::kFolder;
    if (!CheckNames(path)) return Kind::kUnreachable;
    bool missing = false;
    if (!Reach(path, path.size() - 1, false, missing))
      return missing ? Kind::kMissing : Kind::kUnreachable;
    const DWORD attributes = ::GetFileAttributesW(Full(path, path.size()).c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      const DWORD code = ::GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Kind::kMissing;
      FailWithLastError(Join(path, path.size()));
      return Kind::kUnreachable;
    }
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Kind::kLink;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Kind::kFolder;
    return Kind::kFile;
  }

  bool MakeFolders(const Components& folder) override {
    if (!CheckNames(folder)) return false;
    bool missing = false;
    return Reach(folder, folder.size(), true, missing);
  }

  std::unique_ptr<PendingFile> CreateTemporary(const Components& folder) override {
    if (!CheckNames(folder)) return nullptr;
    bool missing = false;
    if (!Reach(folder, folder.size(), false, missing)) {
      if (missing) Fail("the folder does not exist");
      return nullptr;
    }
    const std::wstring where = Full(folder, folder.size());
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::wstring name = TemporaryName();
      const HANDLE handle = ::CreateFileW((where + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                                          CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
      if (handle != INVALID_HANDLE_VALUE)
        return std::make_unique<Win32PendingFile>(where, std::move(name), handle);
      if (::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    FailWithLastError("");
    return nullptr;
  }

  bool MakeLink(const Components&, const std::string&) override {
    return Fail("symbolic links are not made on Windows");
  }

  std::optional<std::string> ReadLink(const Components&) override {
    Fail("symbolic links are not made on Windows");
    return std::nullopt;
  }

  bool SetTimes(const Components& path, FileTime modified,
                std::optional<FileTime> accessed) override {
    if (path.empty() || !CheckNames(path)) return path.empty() ? Fail("no name") : false;
    bool missing = false;
    if (!Reach(path, path.size() - 1, false, missing))
      return missing ? Fail("the folder does not exist") : false;
    // Opened as it is, a reparse point included: its target is never touched.
    const HANDLE handle = ::CreateFileW(
        Full(path, path.size()).c_str(), FILE_WRITE_ATTRIBUTES,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return FailWithLastError(Join(path, path.size()));
    const FILETIME write = win32::ToFileTime(modified);
    const FILETIME access = win32::ToFileTime(accessed.value_or(modified));
    const bool set = ::SetFileTime(handle, nullptr, &access, &write) != FALSE;
    if (!set) FailWithLastError(Join(path, path.size()));
    ::CloseHandle(handle);
    return set;
  }

  bool SetMode(const Components&, uint32_t) override { return true; }
  bool SetOwner(const Components&, uint32_t, uint32_t) override { return true; }

  std::optional<FileIdentity> IdentityOf(const Components& path) override {
    if (!CheckNames(path)) return std::nullopt;
    bool missing = false;
    if (!path.empty() && !Reach(path, path.size() - 1, false, missing)) return std::nullopt;
    // Opened for no access at all, as it is: a reparse point is not followed.
    const HANDLE handle = ::CreateFileW(
        Full(path, path.size()).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      FailWithLastError(Join(path, path.size()));
      return std::nullopt;
    }
    const std::optional<FileIdentity> identity = IdentityOfHandle(handle);
    ::CloseHandle(handle);
    return identity;
  }

  std::optional<std::string> StoredName(const Components& path) override {
    if (path.empty() || !CheckNames(path)) return std::nullopt;
    bool missing = false;
    if (!Reach(path, path.size() - 1, false, missing)) return std::nullopt;
    // The directory entry holds the long name, whichever name found it.
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(Full(path, path.size()).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
      FailWithLastError(Join(path, path.size()));
      return std::nullopt;
    }
    ::FindClose(search);
    return win32::Narrow(found.cFileName);
  }

 private:
  std::wstring Full(const Components& path, size_t count) const {
    std::wstring full = root_;
    for (size_t i = 0; i < count; ++i) full += L"\\" + Wide(path[i]);
    return full;
  }

  // Checks, and with create makes, the first count components of path as
  // folders; missing is set when one does not exist and create is false.
  // A folder is remembered only once its parents are, so the deepest one
  // remembered stands for all above it. The cost is linear in the path's
  // length however deep it is: only the last kRemembered prefixes are looked
  // up and remembered, and the full path grows one name at a time.
  bool Reach(const Components& path, size_t count, bool create, bool& missing) {
    std::string key;
    std::vector<size_t> ends(count + 1, 0);  // ends[k]: key length of the first k names
    for (size_t k = 0; k < count; ++k) {
      key += NameKey(path[k]);
      key += '/';
      ends[k + 1] = key.size();
    }
    const size_t shallowest = count > kRemembered ? count - kRemembered : 0;
    size_t known = count;
    while (known > shallowest && checked_.count(key.substr(0, ends[known])) == 0) --known;
    if (known == shallowest) known = 0;  // nothing remembered near: from the root
    // No folder of a path Windows cannot hold is made: refused before the
    // walk, it costs nothing of the system's, whose every call on a long
    // path walks it again.
    size_t length = root_.size();
    for (size_t i = 0; i < count; ++i) length += 1 + path[i].size();
    if (length >= kLongestPath && Full(path, count).size() >= kLongestPath)
      return Fail("the path is longer than Windows allows");
    std::wstring full = Full(path, known);
    for (size_t i = known; i < count; ++i) {
      full += L"\\" + Wide(path[i]);
      DWORD attributes = ::GetFileAttributesW(full.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = ::GetLastError();
        if (code != ERROR_FILE_NOT_FOUND && code != ERROR_PATH_NOT_FOUND)
          return FailWithLastError(Join(path, i + 1));
        if (!create) {
          missing = true;
          return false;
        }
        if (!::CreateDirectoryW(full.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
          return FailWithLastError(Join(path, i + 1));
        attributes = ::GetFileAttributesW(full.c_str());
      }
      if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0)
        return Fail(Join(path, i + 1) + " is a symbolic link, which is not followed");
      if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
        return Fail(Join(path, i + 1) + " exists and is not a folder");
      if (i + 1 > shallowest) checked_.insert(key.substr(0, ends[i + 1]));
    }
    return true;
  }

  // Enough to find the folder of the next file without a walk in any tree
  // an archive describes; few enough that a path thousands of folders deep
  // costs no more than a few copies of itself.
  static constexpr size_t kRemembered = 64;
  // UTF-16 units in a \\?\ path, its end included.
  static constexpr size_t kLongestPath = 32767;

  std::wstring root_;
  std::unordered_set<std::string> checked_;
};

}  // namespace

std::unique_ptr<Tree> Tree::Open(const std::string& root) {
  std::wstring full = win32::LongPath(root);
  if (full.empty()) {
    FailWithLastError(root);
    return nullptr;
  }
  const DWORD attributes = ::GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    FailWithLastError(root);
    return nullptr;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    Fail(root + " is not a folder");
    return nullptr;
  }
  while (!full.empty() && full.back() == L'\\') full.pop_back();
  return std::make_unique<Win32Tree>(std::move(full));
}

}  // namespace os::fs
