// mksfx's command line: pack files into an installer, or verify one.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace mksfx {

// A path from the command line: the program's text (Windows-1252) for the
// file calls, and the user's own spelling for messages.
struct UserPath {
  std::string path;
  std::string shown;
};

enum class Mode { kPack, kVerify, kHelp, kVersion };

struct Options {
  Mode mode = Mode::kPack;
  UserPath installer;  // empty: the installer built beside mksfx
  UserPath output{"setup.exe", "setup.exe"};
  std::vector<UserPath> files;
  UserPath verified;
  bool allowMissing = false;
};

class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// args and shown are the same arguments (program name first) as the
// program's text and as typed; raises UsageError.
Options ParseOptions(const std::vector<std::string>& args, const std::vector<std::string>& shown);

extern const char kUsage[];
extern const char kVersion[];

// Exit codes: scripts tell a refusal or failed check from a usage error.
enum : int { kExitOk = 0, kExitFailed = 1, kExitUsage = 2 };

}  // namespace mksfx
