// What the program needs of the operating system, in the program's own terms.
// win32/ implements it with the real Windows calls; posix/ with stand-ins that
// present Linux the way Wine presents Windows (drive letters, `\` separators,
// Windows-1252 text, a user.reg registry). Text is Windows-1252 bytes and paths
// are in Windows form on both sides of this interface. Nothing here raises:
// failures are reported by the return values and LastError().
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// ---- Files -----------------------------------------------------------------

struct FileHandle {
  intptr_t value = -1;
  bool Valid() const { return value != -1; }
};

// Opens an existing file; mode uses the runtime's open-mode bits (access in
// bits 0-1: read 0, write 1, read/write 2; sharing in bits 4-6, 0x40 deny none).
FileHandle OpenExistingFile(const std::string& path, uint16_t mode);
// Creates a file, or truncates an existing one, for reading and writing.
FileHandle CreateNewFile(const std::string& path);
// Read/Write return the count transferred, or -1 on failure.
int32_t ReadFile(FileHandle file, void* buffer, int32_t count);
int32_t WriteFile(FileHandle file, const void* buffer, int32_t count);
// origin 0 from the start, 1 from the current position, 2 from the end.
// Returns the new position or -1.
int64_t SeekFile(FileHandle file, int64_t offset, int origin);
void CloseFile(FileHandle file);
// Sets the last-write time from a DOS date and time taken as local time.
bool SetLastWriteTimeFromDos(FileHandle file, uint16_t dosDate, uint16_t dosTime);

// The last-write time of a file or folder in seconds since 1970-01-01 UTC,
// or nothing when the path does not exist.
std::optional<int64_t> LastWriteTime(const std::string& path);

// The Windows error code of the last failed call on this thread.
uint32_t LastError();

// ---- File system -------------------------------------------------------------

constexpr uint32_t kInvalidFileAttributes = 0xFFFFFFFF;
enum : uint32_t {
  faReadOnly = 0x01,
  faHidden = 0x02,
  faSysFile = 0x04,
  faVolumeId = 0x08,
  faDirectory = 0x10,
  faArchive = 0x20,
  faNormal = 0x80,
};

// kInvalidFileAttributes when the path does not exist.
uint32_t FileAttributes(const std::string& path);
// Whether the path names an existing file, not a folder.
bool FileExists(const std::string& path);
bool SetFileAttributes(const std::string& path, uint32_t attributes);
// Creates one folder; its parent must exist.
bool MakeDirectory(const std::string& path);
bool RemoveDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
// Removes a file even when it is read-only.
bool RemoveFileForcibly(const std::string& path);
// Whether Windows opens a file of this name (UTF-8, one component) as a
// device in any folder: CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9 (also
// with the digits ¹ ² ³), CONIN$ and CONOUT$, in any case, before any
// extension and any trailing spaces or dots ("nul.txt", "Aux .c", "com1.").
bool IsDosDeviceName(std::string_view name);
// Copies a file; with failIfExists false an existing target is replaced.
bool CopyFile(const std::string& from, const std::string& to, bool failIfExists);
// Moves (renames) a file; fails when the target exists.
bool MoveFile(const std::string& from, const std::string& to);
// Moves a file within its volume, replacing an existing target in one step:
// whoever opens the target sees the old file or the new one, never neither.
bool MoveFileReplacing(const std::string& from, const std::string& to);

enum : uint32_t {
  kDriveUnknown = 0,
  kDriveNoRootDir = 1,
  kDriveRemovable = 2,
  kDriveFixed = 3,
  kDriveRemote = 4,
  kDriveCdRom = 5,
  kDriveRamDisk = 6,
};
// The kind of drive a root such as "C:" or "C:\" names.
uint32_t DriveType(const std::string& root);

// The full path of the running program's own executable.
std::string ModuleFileName();

// ---- Text ----------------------------------------------------------------------

// Whether file functions take text in the ANSI code page (true on a default
// Windows set-up, and always on the stand-in).
bool AreFileApisAnsi();
// OEM (code page 437) to ANSI (Windows-1252), byte for byte.
std::string OemToChar(const std::string& oem);

// Windows-1252 (the program's text) to UTF-8 and back; characters that the
// code page lacks become '?'.
std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const std::string& utf8);

// Bytes in a code page to UTF-8, for text that names its code page (or that
// the user names for it): charset as iconv and Windows know it ("cp866",
// "gbk", "windows-1251", "iso-8859-5"); "" is the OEM code page (437 on the
// stand-in, the system's own on Windows). A byte sequence the code page
// cannot map becomes U+FFFD. Nothing when the charset is not known.
std::optional<std::string> CodePageToUtf8(std::string_view bytes, const std::string& charset);

// A program's command-line arguments as the program's text (Windows-1252):
// the stand-in gets them in UTF-8, Windows in the ANSI code page already.
std::vector<std::string> CommandLineArguments(int argc, char** argv);

// The full path of a file name in Windows form: a relative name is taken
// against the current folder, "." and ".." parts are resolved and `/` becomes
// `\`. On the stand-in a native path "/x/y" reads "Z:\x\y".
std::string ExpandFileName(const std::string& path);

// ---- Threads -------------------------------------------------------------------

// A re-entrant lock for the thread that holds it.
class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;
  void Enter();
  void Leave();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Whether the process has started a second thread (the program says so by
// calling SetMultiThread before it starts one).
bool IsMultiThread();
void SetMultiThread(bool value);

// ---- Registry (current user hive) --------------------------------------------

enum : uint32_t {
  kRegNone = 0,
  kRegSz = 1,
  kRegExpandSz = 2,
  kRegBinary = 3,
  kRegDword = 4,
  kRegMultiSz = 7,
  // The type of a value that exists but whose data could not be read.
  kRegUnreadable = 0xFFFFFFFF,
};

struct RegistryValue {
  uint32_t type = kRegNone;
  std::vector<uint8_t> data;  // as the registry holds it (strings end in a zero)
};

// An open key of the current user hive; closes itself.
class RegistryKey {
 public:
  RegistryKey() = default;
  ~RegistryKey();
  RegistryKey(RegistryKey&& other) noexcept;
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool IsOpen() const { return handle_ != nullptr; }
  // The value's type and data, or nothing when it does not exist.
  std::optional<RegistryValue> Query(const std::string& name) const;

 private:
  friend RegistryKey OpenCurrentUserKey(const std::string& path, uint32_t access);
  void* handle_ = nullptr;
};

enum : uint32_t { kKeyRead = 0x20019, kKeyAllAccess = 0xF003F };
// Opens HKEY_CURRENT_USER\path; the result is not open on failure.
RegistryKey OpenCurrentUserKey(const std::string& path, uint32_t access);

// ---- Version resources ---------------------------------------------------------

// The version resource of a file, as GetFileVersionInfoA returns it; empty when
// the file has none.
std::vector<uint8_t> FileVersionInfo(const std::string& path);
// VerQueryValueA on such a block: the value's bytes (a string value without
// its terminating zero), or nothing when the block holds no such value.
std::optional<std::vector<uint8_t>> QueryVersionValue(const std::vector<uint8_t>& info,
                                                      const std::string& subBlock);

// ---- Shell ---------------------------------------------------------------------

// ShellExecuteA: returns its instance value (above 32 on success, else the
// shell's error code).
intptr_t ShellExecute(const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory, int showCommand);
// FormatMessageA's text for a system error code ("" when there is none).
std::string SystemErrorMessage(uint32_t code);

// ---- Console ---------------------------------------------------------------------

// Whether standard input (0), output (1) or error (2) is a terminal.
bool IsTerminal(int stream);
// One line typed on the terminal, without its line end; no echo when echo is
// false (for passwords). Nothing at the end of input.
std::optional<std::string> ReadConsoleLine(bool echo);
// Writes count bytes to standard output exactly as they are: no line-end
// translation, no buffer of its own. False when not all of them could be.
bool WriteStandardOutput(const void* data, size_t count);

}  // namespace os
