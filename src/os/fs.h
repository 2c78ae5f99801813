// The file system as it is: paths are UTF-8 on both builds, spelled exactly as
// the file system spells them (case-sensitive on Linux, the wide calls on
// Windows). This is the face of the operating-system layer for programs that
// unpack what users hand them; the installer keeps the calls of os.h. Nothing
// here raises: calls report failure by their result and LastErrorText() says
// what went wrong in the system's words.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "os/os.h"

namespace os::fs {

// A moment in UTC: seconds since 1970-01-01 (negative before) and nanoseconds.
struct FileTime {
  int64_t seconds = 0;
  uint32_t nanoseconds = 0;
  friend bool operator==(const FileTime&, const FileTime&) = default;
};

// A wall-clock time in the machine's time zone. Fields beyond their range
// roll over into the next (February 30 is early March), as mktime does.
struct LocalTime {
  int year = 1970;
  int month = 1;  // 1 to 12
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};
// The moment a local time names, daylight saving time as it was then.
std::optional<FileTime> LocalToUtc(const LocalTime& local);

// kUnreachable: what the path names cannot be told, because something on the
// way is no folder (a file, a link that is not followed) or the system
// refuses to look (a name too long, no permission); LastErrorText says which.
enum class Kind { kMissing, kFile, kFolder, kLink, kOther, kUnreachable };

// What the last failed call of this thread ran into.
std::string LastErrorText();

// What a path names, a final symbolic link (or reparse point) not followed.
Kind KindOf(const std::string& path);
std::optional<FileTime> ModifiedTime(const std::string& path);

// Opens an existing file for reading; the handle works with os::ReadFile,
// SeekFile and CloseFile. Not valid on failure.
FileHandle OpenRead(const std::string& path);
// Reads up to count bytes at offset without moving the handle's position,
// so that several threads may read one handle at once: the count read (less
// only at the end of the file), or -1 with LastErrorText set.
int64_t ReadAt(FileHandle file, uint64_t offset, void* buffer, size_t count);
// The size of an open file, or nothing with LastErrorText set.
std::optional<uint64_t> SizeOf(FileHandle file);
// Whether the handle reads a file that can be read at any offset: not a
// pipe, a FIFO, a terminal or a socket, which can only be read once, in order.
bool CanReadAt(FileHandle file);
// Standard input's handle.
FileHandle StandardInput();
// Reads up to count bytes from where the handle stands: at least one but at
// the end of the input (0), or -1 with LastErrorText set.
int64_t ReadNext(FileHandle file, void* buffer, size_t count);

// Creates a folder and its missing parents; true when it exists afterwards.
bool MakeFolders(const std::string& path);

// A name the platform can hold: on Windows `< > : " | ? * \ /` and codes
// below 32 become `_`, as does a trailing dot or space, which Windows would
// drop; on Linux `/` becomes `_` and control characters (codes below 32 and
// DEL) are dropped as UnZip drops them, the rest passes. Never empty, `.` or
// `..` (a `_` goes in front of such a rest), and never a device: on Windows a
// `_` goes in front of a DOS device name (see IsDeviceName).
std::string LegalName(const std::string& name);
// Whether the platform would open a file of this name as a device: the DOS
// device names on Windows (os::IsDosDeviceName), none on Linux.
bool IsDeviceName(const std::string& name);
// The form under which the file system tells names apart: the name itself
// on Linux, its upper case on Windows, whose file names ignore case.
std::string NameKey(const std::string& name);

// A path below a Tree, one name per folder.
using Components = std::vector<std::string>;

// Who a file or folder is, whichever of its names reached it: the volume's
// serial number and the file index on Windows, st_dev and st_ino on Linux. An
// 8.3 alias and its long name, or two hard links, have one identity.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

class Tree;

// A file being written under a temporary name in its folder. It becomes
// visible only through Commit; destroyed uncommitted, it is removed.
class PendingFile {
 public:
  virtual ~PendingFile() = default;
  // Writes all count bytes; false on failure.
  virtual bool Write(const void* bytes, size_t count) = 0;
  // Called after the last Write: the times stay as set.
  virtual bool SetTimes(FileTime modified, std::optional<FileTime> accessed) = 0;
  // Unix permission bits (07777); nothing on Windows.
  virtual bool SetMode(uint32_t mode) = 0;
  // The owning user and group (before SetMode: a change of owner clears the
  // setuid and setgid bits); nothing on Windows.
  virtual bool SetOwner(uint32_t user, uint32_t group) = 0;
  // Read-only, hidden, system and archive bits; on Linux the read-only bit
  // takes the write permissions away, and the others mean nothing.
  virtual bool SetDosAttributes(uint32_t attributes) = 0;
  // Closes the file and renames it to leaf in its folder, replacing a file or
  // a symbolic link there but never following it, and never a folder.
  virtual bool Commit(const std::string& leaf) = 0;
  // Closes and removes the file now.
  virtual void Discard() = 0;
};

// The folder that extraction writes into. Every path it takes is relative to
// it, and no component on the way is followed if it is a symbolic link or a
// reparse point: such a call fails, so nothing is ever written outside the
// tree. Folders it has made or checked are remembered, so that writing N
// files in one folder costs O(N) system calls.
class Tree {
 public:
  virtual ~Tree() = default;

  // The folder at root, which must exist (it may itself be reached through
  // a link: the user named it). Nothing on failure.
  static std::unique_ptr<Tree> Open(const std::string& root);

  // What path names, the last component not followed; kMissing also when a
  // folder on the way is missing. A link or a file on the way, or a name the
  // system cannot look up, is kUnreachable.
  virtual Kind KindOf(const Components& path) = 0;
  // Creates the folder and its missing parents; fails when a component is a
  // link, a file or anything else that is no folder.
  virtual bool MakeFolders(const Components& folder) = 0;
  // A new, empty file under a temporary name in folder (made or checked
  // before). Nothing on failure.
  virtual std::unique_ptr<PendingFile> CreateTemporary(const Components& folder) = 0;
  // A symbolic link at path holding target, replacing a file or a link but
  // never a folder, and never following what was there.
  virtual bool MakeLink(const Components& path, const std::string& target) = 0;
  // The target of the symbolic link at path, as stored; nothing when path
  // is no link or on Windows, where links are not made.
  virtual std::optional<std::string> ReadLink(const Components& path) = 0;
  // Times of what path names, a final link not followed.
  virtual bool SetTimes(const Components& path, FileTime modified,
                        std::optional<FileTime> accessed) = 0;
  // Permission bits of a folder or file (never through a link).
  virtual bool SetMode(const Components& path, uint32_t mode) = 0;
  // The owner of what path names, a final link not followed; nothing on
  // Windows.
  virtual bool SetOwner(const Components& path, uint32_t user, uint32_t group) = 0;
  // The identity of what path names (the tree itself when path is empty), a
  // final link not followed; nothing when it is missing or cannot be reached.
  virtual std::optional<FileIdentity> IdentityOf(const Components& path) = 0;
  // The name the file system keeps for the last component of path: the long
  // name where the component is another name of it (an 8.3 short name on
  // Windows), else the component itself; nothing when it is missing.
  virtual std::optional<std::string> StoredName(const Components& path) = 0;
};

// Whether symbolic links are made as an archive made on Unix describes them,
// and Unix permission bits kept (Linux), or not (Windows).
bool KeepsUnixMetadata();

}  // namespace os::fs

namespace os {

// The program's command-line arguments in UTF-8, argv[0] included (on
// Windows from the wide command line, whatever the code page).
std::vector<std::string> CommandLineUtf8(int argc, char** argv);

// Standard output (1) and error (2) for UTF-8 text: passed on as it is, or
// written as wide text where it is a Windows console.
std::ostream& Utf8Output(int stream);

// One line typed on the terminal in UTF-8, without its line end; nothing at
// the end of input.
std::optional<std::string> ReadConsoleLineUtf8(bool echo);

}  // namespace os
