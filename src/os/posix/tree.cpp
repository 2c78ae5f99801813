// os::fs::Tree on Linux. Folders are reached with openat and O_NOFOLLOW one
// component at a time from the tree's own descriptor, so that a symbolic link
// on the way is never followed; the folders reached stay open in a small
// cache, so that a file in a known folder costs no path walk at all.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <list>
#include <unordered_map>
#include <utility>
#include <vector>

#include "os/fs.h"
#include "os/posix/fs_errors.h"

namespace os::fs {

namespace {

using posix::Fail;
using posix::FailWithErrno;

// An open folder, closed when its last user lets go.
class Folder {
 public:
  explicit Folder(int fd) : fd_(fd) {}
  ~Folder() { ::close(fd_); }
  Folder(const Folder&) = delete;
  Folder& operator=(const Folder&) = delete;
  int Fd() const { return fd_; }

 private:
  int fd_;
};

using FolderRef = std::shared_ptr<const Folder>;

// A name that stays inside its folder.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string("/\0", 2)) == std::string::npos;
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

timespec ToTimespec(FileTime time) {
  timespec stamp{};
  stamp.tv_sec = static_cast<time_t>(time.seconds);
  stamp.tv_nsec = static_cast<long>(time.nanoseconds);
  return stamp;
}

FileIdentity IdentityFrom(const struct stat& st) {
  return FileIdentity{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino)};
}

std::string TemporaryName() {
  static std::atomic<uint64_t> counter{0};
  return ".tunzip-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

class PosixPendingFile : public PendingFile {
 public:
  PosixPendingFile(FolderRef folder, int fd, std::string name)
      : folder_(std::move(folder)), fd_(fd), name_(std::move(name)) {}
  ~PosixPendingFile() override { Discard(); }

  bool Write(const void* bytes, size_t count) override {
    const auto* at = static_cast<const char*>(bytes);
    while (count > 0) {
      const ssize_t n = ::write(fd_, at, count);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return FailWithErrno("");
      at += n;
      count -= static_cast<size_t>(n);
    }
    return true;
  }

  bool SetTimes(FileTime modified, std::optional<FileTime> accessed) override {
    const timespec times[2] = {ToTimespec(accessed.value_or(modified)), ToTimespec(modified)};
    return ::futimens(fd_, times) == 0 || FailWithErrno("");
  }

  bool SetMode(uint32_t mode) override {
    return ::fchmod(fd_, static_cast<mode_t>(mode & 07777)) == 0 || FailWithErrno("");
  }

  bool SetOwner(uint32_t user, uint32_t group) override {
    return ::fchown(fd_, static_cast<uid_t>(user), static_cast<gid_t>(group)) == 0 ||
           FailWithErrno("");
  }

  bool SetDosAttributes(uint32_t attributes) override {
    if ((attributes & 0x01) == 0) return true;
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return FailWithErrno("");
    return ::fchmod(fd_, st.st_mode & 07555) == 0 || FailWithErrno("");
  }

  bool Commit(const std::string& leaf) override {
    if (!IsPlainName(leaf)) return Fail("not a plain file name: \"" + leaf + "\"");
    const int fd = std::exchange(fd_, -1);
    if (fd < 0) return Fail("the file is already closed");
    // A failed close can be the first report of a failed write (NFS, quotas).
    if (::close(fd) != 0) {
      FailWithErrno("");
      ::unlinkat(folder_->Fd(), name_.c_str(), 0);
      return false;
    }
    if (::renameat(folder_->Fd(), name_.c_str(), folder_->Fd(), leaf.c_str()) != 0) {
      if (errno == EISDIR)
        Fail("a folder of that name is in the way");
      else
        FailWithErrno("");
      ::unlinkat(folder_->Fd(), name_.c_str(), 0);
      return false;
    }
    return true;
  }

  void Discard() override {
    if (fd_ < 0) return;
    ::close(std::exchange(fd_, -1));
    ::unlinkat(folder_->Fd(), name_.c_str(), 0);
  }

 private:
  FolderRef folder_;
  int fd_;
  std::string name_;
};

class PosixTree : public Tree {
 public:
  explicit PosixTree(int fd) : root_(std::make_shared<Folder>(fd)) {}

  Kind KindOf(const Components& path) override {
    if (path.empty()) return Kind::kFolder;
    if (!CheckNames(path)) return Kind::kUnreachable;
    bool missing = false;
    const FolderRef parent = Reach(path, path.size() - 1, false, missing);
    if (!parent) return missing ? Kind::kMissing : Kind::kUnreachable;
    struct stat st {};
    if (::fstatat(parent->Fd(), path.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) return Kind::kMissing;
      FailWithErrno(path.back());
      return Kind::kUnreachable;
    }
    if (S_ISREG(st.st_mode)) return Kind::kFile;
    if (S_ISDIR(st.st_mode)) return Kind::kFolder;
    if (S_ISLNK(st.st_mode)) return Kind::kLink;
    Fail(Join(path, path.size()) + " is neither a file, a folder nor a link");
    return Kind::kOther;
  }

  bool MakeFolders(const Components& folder) override {
    if (!CheckNames(folder)) return false;
    bool missing = false;
    return Reach(folder, folder.size(), true, missing) != nullptr;
  }

  std::unique_ptr<PendingFile> CreateTemporary(const Components& folder) override {
    if (!CheckNames(folder)) return nullptr;
    bool missing = false;
    FolderRef parent = Reach(folder, folder.size(), false, missing);
    if (!parent) {
      if (missing) Fail("the folder does not exist");
      return nullptr;
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
      const std::string name = TemporaryName();
      const int fd = ::openat(parent->Fd(), name.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
      if (fd >= 0) return std::make_unique<PosixPendingFile>(std::move(parent), fd, name);
      if (errno != EEXIST) break;
    }
    FailWithErrno("");
    return nullptr;
  }

  bool MakeLink(const Components& path, const std::string& target) override {
    if (path.empty() || !CheckNames(path)) return path.empty() ? Fail("no name") : false;
    bool missing = false;
    const FolderRef parent = Reach(path, path.size() - 1, false, missing);
    if (!parent) return missing ? Fail("the folder does not exist") : false;
    // Made under a temporary name and renamed: the rename replaces a file or
    // a link without following it, and refuses a folder.
    const std::string name = TemporaryName();
    if (::symlinkat(target.c_str(), parent->Fd(), name.c_str()) != 0) return FailWithErrno("");
    if (::renameat(parent->Fd(), name.c_str(), parent->Fd(), path.back().c_str()) != 0) {
      if (errno == EISDIR)
        Fail("a folder of that name is in the way");
      else
        FailWithErrno("");
      ::unlinkat(parent->Fd(), name.c_str(), 0);
      return false;
    }
    return true;
  }

  std::optional<std::string> ReadLink(const Components& path) override {
    if (path.empty() || !CheckNames(path)) return std::nullopt;
    bool missing = false;
    const FolderRef parent = Reach(path, path.size() - 1, false, missing);
    if (!parent) return std::nullopt;
    // One byte more than any target, so that a cut one cannot pass for whole.
    std::string target(PATH_MAX + 1, '\0');
    const ssize_t length =
        ::readlinkat(parent->Fd(), path.back().c_str(), target.data(), target.size());
    if (length < 0 || static_cast<size_t>(length) == target.size()) {
      if (length < 0)
        FailWithErrno(Join(path, path.size()));
      else
        Fail(Join(path, path.size()) + ": the link's target is too long");
      return std::nullopt;
    }
    target.resize(static_cast<size_t>(length));
    return target;
  }

  bool SetTimes(const Components& path, FileTime modified,
                std::optional<FileTime> accessed) override {
    if (path.empty() || !CheckNames(path)) return path.empty() ? Fail("no name") : false;
    bool missing = false;
    const FolderRef parent = Reach(path, path.size() - 1, false, missing);
    if (!parent) return missing ? Fail("the folder does not exist") : false;
    const timespec times[2] = {ToTimespec(accessed.value_or(modified)), ToTimespec(modified)};
    return ::utimensat(parent->Fd(), path.back().c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 ||
           FailWithErrno("");
  }

  bool SetMode(const Components& path, uint32_t mode) override {
    if (path.empty() || !CheckNames(path)) return path.empty() ? Fail("no name") : false;
    bool missing = false;
    const FolderRef parent = Reach(path, path.size() - 1, false, missing);
    if (!parent) return missing ? Fail("the folder does not exist") : false;
    // Refused for a link (links have no mode of their own on Linux).
    return ::fchmodat(parent->Fd(), path.back().c_str(), static_cast<mode_t>(mode & 07777),
                      AT_SYMLINK_NOFOLLOW) == 0 ||
           FailWithErrno("");
  }

  bool SetOwner(const Components& path, uint32_t user, uint32_t group) override {
    if (path.empty() || !CheckNames(path)) return path.empty() ? Fail("no name") : false;
    bool missing = false;
    const FolderRef parent = Reach(path, path.size() - 1, false, missing);
    if (!parent) return missing ? Fail("the folder does not exist") : false;
    return ::fchownat(parent->Fd(), path.back().c_str(), static_cast<uid_t>(user),
                      static_cast<gid_t>(group), AT_SYMLINK_NOFOLLOW) == 0 ||
           FailWithErrno("");
  }

  std::optional<FileIdentity> IdentityOf(const Components& path) override {
    struct stat st {};
    if (path.empty()) {
      if (::fstat(root_->Fd(), &st) != 0) return std::nullopt;
      return IdentityFrom(st);
    }
    if (!CheckNames(path)) return std::nullopt;
    bool missing = false;
    const FolderRef parent = Reach(path, path.size() - 1, false, missing);
    if (!parent || ::fstatat(parent->Fd(), path.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
      return std::nullopt;
    return IdentityFrom(st);
  }

  // Linux keeps one name per link: what exists is known by the name given.
  std::optional<std::string> StoredName(const Components& path) override {
    if (path.empty() || KindOf(path) == Kind::kMissing) return std::nullopt;
    return path.back();
  }

 private:
  // The first count components of path as an open folder, walked from the
  // nearest folder in the cache. missing is set when a folder does not exist
  // and create is false; other failures leave the reason in LastErrorText.
  // The cost is linear in the path's length however deep it is: the cache
  // is asked for the last kOpenFolders prefixes only (it holds no more), and
  // only those are remembered on the way down.
  FolderRef Reach(const Components& path, size_t count, bool create, bool& missing) {
    const std::string joined = Join(path, count);
    std::vector<size_t> ends(count + 1, 0);  // ends[k]: length of the first k names
    for (size_t k = 1; k <= count; ++k)
      ends[k] = ends[k - 1] + (k > 1 ? 1 : 0) + path[k - 1].size();
    const size_t shallowest = count > kOpenFolders ? count - kOpenFolders : 0;
    size_t known = count;
    FolderRef folder;
    while (known > shallowest && !(folder = Recall(joined.substr(0, ends[known])))) --known;
    if (!folder) {
      folder = root_;
      known = 0;
    }
    for (size_t i = known; i < count; ++i) {
      const std::string& name = path[i];
      int fd = OpenFolder(*folder, name);
      if (fd < 0 && errno == ENOENT) {
        if (!create) {
          missing = true;
          return nullptr;
        }
        if (::mkdirat(folder->Fd(), name.c_str(), 0777) != 0 && errno != EEXIST) {
          FailWithErrno(Join(path, i + 1));
          return nullptr;
        }
        fd = OpenFolder(*folder, name);
      }
      if (fd < 0) {
        Refuse(*folder, path, i);
        return nullptr;
      }
      folder = std::make_shared<Folder>(fd);
      if (i + 1 > shallowest) Remember(joined.substr(0, ends[i + 1]), folder);
    }
    return folder;
  }

  static int OpenFolder(const Folder& parent, const std::string& name) {
    return ::openat(parent.Fd(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  }

  // Says why component i of path could not be opened as a folder.
  static void Refuse(const Folder& parent, const Components& path, size_t i) {
    const int error = errno;
    const std::string where = Join(path, i + 1);
    struct stat st {};
    if (::fstatat(parent.Fd(), path[i].c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(st.st_mode)) {
        Fail(where + " is a symbolic link, which is not followed");
        return;
      }
      if (!S_ISDIR(st.st_mode)) {
        Fail(where + " exists and is not a folder");
        return;
      }
    }
    errno = error;
    FailWithErrno(where);
  }

  FolderRef Recall(const std::string& key) {
    const auto found = index_.find(key);
    if (found == index_.end()) return nullptr;
    recent_.splice(recent_.begin(), recent_, found->second);
    return found->second->second;
  }

  void Remember(const std::string& key, FolderRef folder) {
    if (const auto found = index_.find(key); found != index_.end()) {
      recent_.erase(found->second);
      index_.erase(found);
    }
    recent_.emplace_front(key, std::move(folder));
    index_[key] = recent_.begin();
    if (recent_.size() > kOpenFolders) {
      index_.erase(recent_.back().first);
      recent_.pop_back();
    }
  }

  // Enough for any tree an archive describes to be walked rarely, few enough
  // to stay far below the process's descriptor limit.
  static constexpr size_t kOpenFolders = 64;

  FolderRef root_;
  std::list<std::pair<std::string, FolderRef>> recent_;
  std::unordered_map<std::string, std::list<std::pair<std::string, FolderRef>>::iterator> index_;
};

}  // namespace

std::unique_ptr<Tree> Tree::Open(const std::string& root) {
  const int fd = ::open(root.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    FailWithErrno(root);
    return nullptr;
  }
  return std::make_unique<PosixTree>(fd);
}

bool KeepsUnixMetadata() {
  return true;
}

}  // namespace os::fs
