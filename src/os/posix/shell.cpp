// The shell on the stand-in: "open" starts a Windows program with wine and any
// other file with xdg-open, detached and not waited for; failures come back as
// the shell's own codes. System error texts are Wine's English ones.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "os/os.h"
#include "os/posix/paths.h"
#include "os/text.h"

namespace os {

namespace {

// The shell's failure codes.
constexpr intptr_t kFileNotFound = 2;
constexpr intptr_t kPathNotFound = 3;
constexpr intptr_t kAccessDenied = 5;
constexpr intptr_t kBadFormat = 11;
constexpr intptr_t kNoAssociation = 31;
constexpr intptr_t kStarted = 42;  // any value above 32 means success

bool IsWindowsProgram(const std::string& path) {
  return text::EndsWithTextAscii(path, ".exe") || text::EndsWithTextAscii(path, ".com");
}

// The full path of an executable found on PATH, or "".
std::string FindOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return "";
  std::string_view rest(path);
  while (true) {
    const size_t colon = rest.find(':');
    const std::string folder(rest.substr(0, colon));
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + name;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        ::access(candidate.c_str(), X_OK) == 0)
      return candidate;
    if (colon == std::string_view::npos) return "";
    rest.remove_prefix(colon + 1);
  }
}

// Splits a command line as Windows programs do: blanks separate, double quotes
// group, \" is a literal quote.
std::vector<std::string> SplitParameters(const std::string& parameters) {
  std::vector<std::string> words;
  std::string current;
  bool inWord = false, quoted = false;
  for (size_t i = 0; i < parameters.size(); ++i) {
    const char c = parameters[i];
    if (c == '\\' && i + 1 < parameters.size() && parameters[i + 1] == '"') {
      current += '"';
      inWord = true;
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
      inWord = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inWord) words.push_back(std::move(current));
      current.clear();
      inWord = false;
    } else {
      current += c;
      inWord = true;
    }
  }
  if (inWord) words.push_back(std::move(current));
  return words;
}

intptr_t ExecFailure(int error) {
  switch (error) {
    case ENOENT:
      return kFileNotFound;
    case ENOTDIR:
      return kPathNotFound;
    case EACCES:
    case EPERM:
      return kAccessDenied;
    case ENOEXEC:
      return kBadFormat;
    default:
      return kNoAssociation;
  }
}

// Starts argv in its own session with no terminal streams, and returns once
// the program has been started (or failed to start), without waiting for it.
intptr_t StartDetached(const std::vector<std::string>& args, const std::string& folder) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return kNoAssociation;
  const pid_t child = ::fork();
  if (child < 0) {
    ::close(report[0]);
    ::close(report[1]);
    return kNoAssociation;
  }
  if (child == 0) {
    ::setsid();
    const pid_t grandchild = ::fork();
    if (grandchild != 0) ::_exit(grandchild < 0 ? 1 : 0);
    int error = 0;
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) error = errno;
    if (error == 0) {
      const int null = ::open("/dev/null", O_RDWR);
      if (null >= 0) {
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
      }
      ::execv(argv[0], argv.data());
      error = errno;
    }
    if (::write(report[1], &error, sizeof error) < 0) ::_exit(127);
    ::_exit(127);
  }
  ::close(report[1]);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  int error = 0;
  ssize_t got = 0;
  do {
    got = ::read(report[0], &error, sizeof error);
  } while (got < 0 && errno == EINTR);
  ::close(report[0]);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return kNoAssociation;
  if (got == static_cast<ssize_t>(sizeof error)) return ExecFailure(error);
  return kStarted;
}

bool IsFolder(const std::string& native) {
  struct stat st {};
  return ::stat(native.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Why a missing file is missing: its folder is there (2) or not (3).
intptr_t MissingFileCode(const std::string& file) {
  const size_t separator = file.find_last_of("\\/");
  if (separator == std::string::npos) return kFileNotFound;
  std::string folder = file.substr(0, separator + 1);
  if (folder.size() == 3 && folder[1] == ':') return kFileNotFound;  // a drive root
  return IsFolder(posix::NativePath(folder)) ? kFileNotFound : kPathNotFound;
}

}  // namespace

// The show command has no counterpart here: wine and xdg-open pick their own.
intptr_t ShellExecute(const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int /*showCommand*/) {
  if (!operation.empty() && !text::SameTextAscii(operation, "open")) return kNoAssociation;
  if (file.empty()) return kFileNotFound;
  const std::string native = posix::NativePath(file);
  struct stat st {};
  if (::stat(native.c_str(), &st) != 0) return MissingFileCode(file);
  std::string folder;
  if (!directory.empty()) {
    folder = posix::NativePath(directory);
    if (!IsFolder(folder)) return kPathNotFound;
  }
  std::vector<std::string> args;
  if (S_ISREG(st.st_mode) && IsWindowsProgram(file)) {
    const std::string wine = FindOnPath("wine");
    if (wine.empty()) return kNoAssociation;
    args = {wine, native};
    for (std::string& word : SplitParameters(parameters)) args.push_back(text::Win1252ToUtf8(word));
  } else {
    const std::string opener = FindOnPath("xdg-open");
    if (opener.empty()) return kNoAssociation;
    args = {opener, native};
  }
  return StartDetached(args, folder);
}

std::string SystemErrorMessage(uint32_t code) {
  // Wine's texts, so that both builds say the same under Wine.
  static constexpr const char* kTexts[] = {
      "Success",
      "Invalid function",
      "File not found",
      "Path not found",
      "Too many open files",
      "Access denied",
      "Invalid handle",
      "Memory trashed",
      "Not enough memory",
      "Invalid block",
      "Bad environment",
      "Bad format",
      "Invalid access",
      "Invalid data",
      "Out of memory",
      "Invalid drive",
      "Can't delete current directory",
      "Not same device",
      "No more files",
      "Write protected",
      "Bad unit",
      "Not ready",
      "Bad command",
      "CRC error",
      "Bad length",
      "Seek error",
      "Not DOS disk",
      "Sector not found",
      "Out of paper",
      "Write fault",
      "Read fault",
      "General failure",
      "Sharing violation",
      "Lock violation",
      "Wrong disk",
      nullptr,
      "Sharing buffer exceeded",
      nullptr,
      "End of file",
      "Disk full",
  };
  struct Entry {
    uint32_t code;
    const char* text;
  };
  static constexpr Entry kMore[] = {
      {50, "Request not supported"},
      {80, "File exists"},
      {87, "Invalid parameter"},
      {110, "Open failed"},
      {111, "Buffer overflow"},
      {112, "Disk full"},
      {122, "Insufficient buffer"},
      {123, "Invalid name"},
      {145, "Directory is not empty"},
      {183, "File already exists"},
      {206, "File name is too long"},
      {1155, "No associated application"},
      {1223, "Operation canceled by user"},
      {1460, "Timeout"},
  };
  const char* text = nullptr;
  if (code < std::size(kTexts)) {
    text = kTexts[code];
  } else {
    for (const Entry& entry : kMore) {
      if (entry.code == code) text = entry.text;
    }
  }
  return text != nullptr ? std::string(text) + ".\r\n" : std::string();
}

}  // namespace os
