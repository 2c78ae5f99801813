// os::fs on Windows outside the tree: every call is the wide one, paths go
// through \\?\ so that their length is no limit, the command line comes from
// GetCommandLineW and a console is written with WriteConsoleW.
#include "os/fs.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <streambuf>

#include "os/text.h"
#include "os/win32/fs_support.h"

namespace os::fs {

namespace win32 {

namespace {
thread_local std::string lastErrorText;

// 100-nanosecond ticks from 1601 to 1970.
constexpr int64_t kTicksPerSecond = 10000000;
constexpr int64_t kTicks1601To1970 = 11644473600LL * kTicksPerSecond;
}  // namespace

std::wstring Wide(const std::string& utf8) {
  const std::u16string wide = os::text::Utf8ToUtf16(utf8);
  return std::wstring(wide.begin(), wide.end());
}

std::string Narrow(const std::wstring& wide) {
  return os::text::Utf16ToUtf8(std::u16string(wide.begin(), wide.end()));
}

std::wstring LongPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  if (wide.rfind(L"\\\\?\\", 0) == 0) return wide;
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return {};
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (length == 0 || length >= size) return {};
  full.resize(length);
  if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
  return L"\\\\?\\" + full;
}

bool Fail(const std::string& text) {
  lastErrorText = text;
  return false;
}

bool FailWithLastError(const std::string& what) {
  const DWORD code = ::GetLastError();
  wchar_t* buffer = nullptr;
  const DWORD n = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string reason = n > 0 ? Narrow(std::wstring(buffer, n)) : "error " + std::to_string(code);
  if (buffer != nullptr) ::LocalFree(buffer);
  while (!reason.empty() &&
         (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
    reason.pop_back();
  return Fail(what.empty() ? reason : what + ": " + reason);
}

FILETIME ToFileTime(FileTime time) {
  // Windows cannot stamp a time before 1601; such a time becomes 1601.
  int64_t ticks = 0;
  if (time.seconds > -11644473600LL)
    ticks = time.seconds * kTicksPerSecond + kTicks1601To1970 + time.nanoseconds / 100;
  FILETIME result;
  result.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFF);
  result.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  return result;
}

FileTime FromFileTime(const FILETIME& time) {
  const int64_t ticks =
      static_cast<int64_t>((uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime) -
      kTicks1601To1970;
  int64_t seconds = ticks / kTicksPerSecond;
  int64_t rest = ticks % kTicksPerSecond;
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  return FileTime{seconds, static_cast<uint32_t>(rest * 100)};
}

}  // namespace win32

std::string LastErrorText() {
  return win32::lastErrorText;
}

namespace {

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar
// (month 1 to 12).
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t yearOfEra = year - era * 400;
  const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

}  // namespace

std::optional<FileTime> LocalToUtc(const LocalTime& local) {
  // Rolled over into a valid date first, as mktime would.
  const int64_t months = int64_t{local.year} * 12 + (local.month - 1);
  const int64_t year = months >= 0 ? months / 12 : (months - 11) / 12;
  const int64_t month = months - year * 12 + 1;
  const int64_t seconds = (DaysFromCivil(year, month, 1) + local.day - 1) * 86400 +
                          int64_t{local.hour} * 3600 + int64_t{local.minute} * 60 + local.second;
  FILETIME wall = win32::ToFileTime(FileTime{seconds, 0});
  SYSTEMTIME wallFields;
  SYSTEMTIME utcFields;
  FILETIME utc;
  if (!::FileTimeToSystemTime(&wall, &wallFields) ||
      !::TzSpecificLocalTimeToSystemTime(nullptr, &wallFields, &utcFields) ||
      !::SystemTimeToFileTime(&utcFields, &utc)) {
    win32::FailWithLastError("");
    return std::nullopt;
  }
  return win32::FromFileTime(utc);
}

Kind KindOf(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win32::LongPath(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD code = ::GetLastError();
    if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return Kind::kMissing;
    win32::FailWithLastError(path);
    return Kind::kOther;
  }
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return Kind::kLink;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return Kind::kFolder;
  if ((attributes & FILE_ATTRIBUTE_DEVICE) != 0) return Kind::kOther;
  return Kind::kFile;
}

std::optional<FileTime> ModifiedTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExW(win32::LongPath(path).c_str(), GetFileExInfoStandard, &data)) {
    win32::FailWithLastError(path);
    return std::nullopt;
  }
  return win32::FromFileTime(data.ftLastWriteTime);
}

FileHandle OpenRead(const std::string& path) {
  const HANDLE handle = ::CreateFileW(win32::LongPath(path).c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    win32::FailWithLastError(path);
    return {};
  }
  return FileHandle{reinterpret_cast<intptr_t>(handle)};
}

int64_t ReadAt(FileHandle file, uint64_t offset, void* buffer, size_t count) {
  // The offset rides in the OVERLAPPED structure: on a handle opened for
  // synchronous reads the call still waits, and no shared position moves.
  const HANDLE handle = reinterpret_cast<HANDLE>(file.value);
  size_t done = 0;
  auto* bytes = static_cast<char*>(buffer);
  while (done < count) {
    OVERLAPPED at{};
    const uint64_t position = offset + done;
    at.Offset = static_cast<DWORD>(position);
    at.OffsetHigh = static_cast<DWORD>(position >> 32);
    const DWORD want = static_cast<DWORD>(std::min<size_t>(count - done, 1U << 30));
    DWORD got = 0;
    if (!::ReadFile(handle, bytes + done, want, &got, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      win32::FailWithLastError("read");
      return -1;
    }
    if (got == 0) break;
    done += got;
  }
  return static_cast<int64_t>(done);
}

std::optional<uint64_t> SizeOf(FileHandle file) {
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(reinterpret_cast<HANDLE>(file.value), &size)) {
    win32::FailWithLastError("size");
    return std::nullopt;
  }
  return static_cast<uint64_t>(size.QuadPart);
}

bool CanReadAt(FileHandle file) {
  return ::GetFileType(reinterpret_cast<HANDLE>(file.value)) == FILE_TYPE_DISK;
}

FileHandle StandardInput() {
  return FileHandle{reinterpret_cast<intptr_t>(::GetStdHandle(STD_INPUT_HANDLE))};
}

int64_t ReadNext(FileHandle file, void* buffer, size_t count) {
  DWORD got = 0;
  const DWORD want = static_cast<DWORD>(std::min<size_t>(count, 1U << 30));
  if (::ReadFile(reinterpret_cast<HANDLE>(file.value), buffer, want, &got, nullptr))
    return static_cast<int64_t>(got);
  // The writer closing its end of a pipe is the input's end.
  if (::GetLastError() == ERROR_BROKEN_PIPE) return 0;
  win32::FailWithLastError("read");
  return -1;
}

namespace {

bool MakeFoldersWide(const std::wstring& full, const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(full.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ||
           win32::Fail(path + " exists and is not a folder");
  }
  // The parent first; a drive ("\\?\C:") is named with its root's backslash.
  const size_t cut = full.find_last_of(L'\\');
  if (cut == std::wstring::npos || cut <= 4) return win32::FailWithLastError(path);
  std::wstring parent = full.substr(0, cut);
  if (parent.back() == L':') parent += L'\\';
  if (parent != full && !MakeFoldersWide(parent, path)) return false;
  return ::CreateDirectoryW(full.c_str(), nullptr) || ::GetLastError() == ERROR_ALREADY_EXISTS ||
         win32::FailWithLastError(path);
}

}  // namespace

bool MakeFolders(const std::string& path) {
  std::wstring full = win32::LongPath(path);
  if (full.empty()) return win32::FailWithLastError(path);
  while (full.size() > 7 && full.back() == L'\\') full.pop_back();
  return MakeFoldersWide(full, path);
}

std::string LegalName(const std::string& name) {
  std::string legal = name;
  for (char& c : legal) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 32 || std::strchr("<>:\"|?*\\/", c) != nullptr) c = '_';
  }
  if (!legal.empty() && (legal.back() == '.' || legal.back() == ' ')) legal.back() = '_';
  // Opened under its own name, the file would be the port or the console.
  if (IsDeviceName(name)) legal.insert(0, 1, '_');
  return legal;
}

bool IsDeviceName(const std::string& name) {
  return os::IsDosDeviceName(name);
}

std::string NameKey(const std::string& name) {
  std::wstring wide = win32::Wide(name);
  if (!wide.empty()) ::CharUpperBuffW(wide.data(), static_cast<DWORD>(wide.size()));
  return win32::Narrow(wide);
}

bool KeepsUnixMetadata() {
  return false;
}

}  // namespace os::fs

namespace os {

namespace {

HANDLE StandardHandle(int stream) {
  return ::GetStdHandle(stream == 0   ? STD_INPUT_HANDLE
                        : stream == 1 ? STD_OUTPUT_HANDLE
                                      : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return ::GetConsoleMode(handle, &mode) != 0;
}

// The length of text's longest prefix that ends on a whole UTF-8 character.
size_t WholeCharacters(const std::string& text) {
  size_t end = text.size();
  for (size_t back = 1; back <= 4 && back <= text.size(); ++back) {
    const auto byte = static_cast<unsigned char>(text[text.size() - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    if (length > back) end = text.size() - back;
    break;
  }
  return end;
}

// UTF-8 in, wide characters out to a console.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(HANDLE console) : console_(console) {}
  ~ConsoleBuffer() override { Flush(true); }

 protected:
  int_type overflow(int_type c) override {
    if (c != traits_type::eof()) {
      pending_ += static_cast<char>(c);
      if (c == '\n' || pending_.size() >= kFlushAt) Flush(false);
    }
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    pending_.append(text, static_cast<size_t>(count));
    if (pending_.size() >= kFlushAt || std::memchr(text, '\n', static_cast<size_t>(count)))
      Flush(false);
    return count;
  }
  int sync() override {
    Flush(false);
    return 0;
  }

 private:
  static constexpr size_t kFlushAt = 4096;

  void Flush(bool all) {
    const size_t whole = all ? pending_.size() : WholeCharacters(pending_);
    if (whole == 0) return;
    const std::wstring wide = fs::win32::Wide(pending_.substr(0, whole));
    DWORD written = 0;
    if (!wide.empty())
      ::WriteConsoleW(console_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    pending_.erase(0, whole);
  }

  HANDLE console_;
  std::string pending_;
};

std::ostream& ConsoleStream(int stream) {
  static ConsoleBuffer outBuffer(StandardHandle(1));
  static ConsoleBuffer errBuffer(StandardHandle(2));
  static std::ostream out(&outBuffer);
  static std::ostream err(&errBuffer);
  if (stream == 2) {
    err.setf(std::ios::unitbuf);
    return err;
  }
  return out;
}

}  // namespace

std::vector<std::string> CommandLineUtf8(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(fs::win32::Narrow(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

std::ostream& Utf8Output(int stream) {
  if (IsConsole(StandardHandle(stream))) return ConsoleStream(stream);
  return stream == 2 ? std::cerr : std::cout;
}

std::optional<std::string> ReadConsoleLineUtf8(bool echo) {
  const HANDLE input = StandardHandle(0);
  DWORD saved = 0;
  if (!::GetConsoleMode(input, &saved)) {
    std::string line;
    if (!std::getline(std::cin, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
  }
  if (!echo) ::SetConsoleMode(input, saved & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::wstring line;
  bool got = false;
  for (;;) {
    wchar_t c = 0;
    DWORD read = 0;
    if (!::ReadConsoleW(input, &c, 1, &read, nullptr) || read == 0) break;
    got = true;
    if (c == L'\n') break;
    if (c != L'\r') line += c;
  }
  if (!echo) {
    ::SetConsoleMode(input, saved);
    Utf8Output(2) << '\n';
  }
  if (!got) return std::nullopt;
  return fs::win32::Narrow(line);
}

}  // namespace os
