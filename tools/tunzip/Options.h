// tunzip's command line in UnZip's grammar: one-letter options that combine
// (-qo, -qqo), a value attached or in the next argument (-dout, -d out),
// options anywhere until "--", long options for what UnZip lacks.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "zip/Archive.h"

namespace tunzip {

enum class Mode {
  kExtract,
  kTest,
  kList,
  kPipe,     // -p: the members' bytes to standard output, nothing else there
  kComment,  // -z: the archive's comment
  kStamp,    // -T: the archive's time set to its newest file's, nothing else
  kHelp,
  kVersion,
};

// How the catalogue is listed (Mode::kList).
enum class Listing {
  kShort,    // -l: length, date, time, name and a totals line
  kVerbose,  // -v: method, compressed size, ratio and CRC-32 as well
  kNames,    // -Z1: the names alone, one a line
  kTsv,      // --tsv: every stored fact, tab-separated
  kJson,     // --json: one JSON document of every member
  kZipInfo,  // -Z but -Z1: zipinfo's formats (Options::zipInfo)
};

// zipinfo's member formats: -2, -s, -m, -l, -v (every fact of the end
// record and of each member, one a line); kNone when only -h, -t or both
// were asked for.
enum class ZipInfoFormat { kNone, kNamesWithLines, kShort, kMedium, kLong, kVerbose };

struct ZipInfoRequest {
  ZipInfoFormat format = ZipInfoFormat::kShort;
  bool header = false;       // -h: the archive's lines, whatever the format
  bool totals = false;       // -t: the totals line, whatever the format
  bool decimalTime = false;  // -T: yyyymmdd.hhmmss, to the second
  bool comment = false;      // -z: the archive's comment
};

// What to do with a file that is already there.
enum class Overwrite { kAsk, kAlways, kNever };

// Which members extraction writes, by the files already there.
enum class Refresh {
  kAll,      // every chosen member
  kFreshen,  // -f: only over files that are there and older than the member
  kUpdate,   // -u: as -f, and members with no file yet as well
};

struct Options {
  Mode mode = Mode::kExtract;
  Listing listing = Listing::kShort;
  // 0: every member named as it is handled; 1 (-q): a summary at most;
  // 2 (-qq): nothing but errors.
  int quiet = 0;
  bool junkPaths = false;  // -j: bare names straight into the target folder
  // -c: as -p, with the "Archive:" line and each member's line before its
  // bytes, as UnZip shows them.
  bool pipeWithNames = false;
  // -a: members the archive marks as text get this system's line ends;
  // -aa: every member does.
  int textLines = 0;
  // -D: folders keep the time of their making; -DD: files too.
  int skipTimes = 0;
  bool caseBlind = false;        // -C: masks match without regard to letter case
  bool keepSpecialBits = false;  // -K: setuid, setgid and sticky bits restored
  bool keepOwners = false;       // -X: owners restored from the Unix extra fields
  // -L: names made on single-case file systems lowercased; -LL: every name.
  // Listings, masks, files and messages all see the lowercased name.
  int lowerNames = 0;
  Overwrite overwrite = Overwrite::kAsk;
  Refresh refresh = Refresh::kAll;
  bool havePassword = false;
  std::string password;  // program code page
  bool haveTarget = false;
  std::string targetShown = ".";
  std::string target = ".";  // -d, program code page
  // As the user typed it (shown in messages) and in the program's code page.
  std::string archiveShown;
  std::string archive;
  // -O: the code page of names that say nothing of their own ("" for the
  // OEM code page), as iconv or Windows names it (cp866, gbk, 936).
  std::string nameCharset;
  std::vector<std::string> masks;     // UTF-8; empty: every member
  std::vector<std::string> excludes;  // UTF-8, after -x
  ZipInfoRequest zipInfo;
  // --threads: how many threads -t, -p and extraction decode on (members at
  // once, or one large member's parts); 0 for one per core.
  unsigned threads = 0;
  // Options that were given but have no effect here, said once on standard
  // error as UnZip does ("not extracting; -d ignored").
  std::vector<std::string> cautions;
};

// The name case -L or -LL asks the library for.
zip::NameCase NameCaseOf(const Options& options);

// The threads --threads allows: its number, or one per core.
unsigned ThreadsAllowed(const Options& options);

// A command line tunzip cannot run; what() says why in one line.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// raw holds argv as given, program the same in the program's code page; both
// include argv[0].
Options ParseOptions(const std::vector<std::string>& raw, const std::vector<std::string>& program);

extern const char* const kUsage;
extern const char* const kVersion;

}  // namespace tunzip
