// tunzip's command line: the mode, the archive and the member masks.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace tunzip {

enum class Mode { kExtract, kTest, kList };

// What to do with a file that is already there.
enum class Overwrite { kAsk, kAlways, kNever };

struct Options {
  Mode mode = Mode::kExtract;
  bool tsv = false;
  bool quiet = false;
  bool junkPaths = false;  // -j: bare names straight into the target folder
  Overwrite overwrite = Overwrite::kAsk;
  bool havePassword = false;
  std::string password;  // program code page
  std::string targetShown = ".";
  std::string target = ".";  // -d, program code page
  // As the user typed it (shown in messages) and in the program's code page.
  std::string archiveShown;
  std::string archive;
  std::vector<std::string> masks;     // program code page; empty: every member
  std::vector<std::string> excludes;  // after -x
};

// A command line tunzip cannot run; what() says why.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// raw holds argv as given, program the same in the program's code page; both
// include argv[0].
Options ParseOptions(const std::vector<std::string>& raw, const std::vector<std::string>& program);

extern const char* const kUsage;

}  // namespace tunzip
