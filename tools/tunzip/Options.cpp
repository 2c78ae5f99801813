#include "Options.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <thread>

namespace tunzip {

const char* const kVersion =
    "tunzip " TESSALINE_VERSION " (Tessaline), lists, tests and extracts ZIP archives\n";

const char* const kUsage =
    "usage: tunzip [-opts[modifiers]] ARCHIVE[.zip] [MASK...] [-x MASK...] [-d DIR]\n"
    "       tunzip -Z[12smlvhtTzC] ARCHIVE[.zip] [MASK...] [-x MASK...]  (as zipinfo)\n"
    "  Extracts the members the masks choose (all without masks) below DIR (default: here).\n"
    "  Letters combine (-qo is -q -o) and options may follow the archive; -- ends them.\n"
    "  -l  list: length, date, time, name             -t  test: decode, write nothing\n"
    "  -v  list verbosely: method, ratio, CRC-32      -Z  list as zipinfo (-Z1: names only)\n"
    "  -p  the members' bytes to standard output      -d DIR  extract below DIR\n"
    "  -f  freshen: replace older files, add none     -u  update: as -f, and add new files\n"
    "  -x  the masks after it exclude members         -z  show the archive's comment\n"
    "  -c  as -p, each member's bytes after its name  -D  no times on folders (-DD: nor files)\n"
    "  -a  this system's line ends in text members (-aa: in all)\n"
    "  -T  only set the archive's time to its newest file's\n"
    "modifiers:\n"
    "  -o  overwrite existing files without asking    -n  never overwrite existing files\n"
    "  -j  junk stored folders: every file into DIR   -q  quiet (-qq: errors only)\n"
    "  -C  masks ignore letter case                   -P PASSWORD  for encrypted members\n"
    "  -K  keep setuid, setgid and sticky bits       -O CHARSET  code page of names\n"
    "  -X  restore owners (user and group ids)\n"
    "  -L  lowercase names made on single-case systems (MS-DOS, VMS...); -LL: all names\n"
    "  --tsv  with -l: one tab-separated line per member (index, method, flags, compressed\n"
    "         size, size, CRC-32, offset, date and time, name, method's name)\n"
    "  --json  with -l: one JSON document of every member (see tunzip(1))\n"
    "  --threads N  test, pipe or extract on N threads (default: one per core)\n"
    "  -h, --help  this text                          --version  tunzip's version\n"
    "masks: * any text, / included; ? one character; [a-f] [!a-f] one of a set;\n"
    "  \\ takes the next character as it is. See tunzip(1) for the exit codes.\n";

namespace {

// One command-line argument, or the value part of one: as the user typed it
// (for messages) and in the program's code page (for the file calls).
struct Argument {
  std::string shown;
  std::string text;
};

// What the letters asked for. The mode is settled only once the whole line
// has been read, because some letters give way to others whatever their
// order (-lt tests, -vl lists verbosely), as in UnZip.
struct Request {
  bool list = false;
  bool verbose = false;
  bool test = false;
  bool names = false;
  bool help = false;
  bool version = false;
  bool tsv = false;
  bool json = false;
  bool pipe = false;
  bool comment = false;
  bool stamp = false;
  bool freshen = false;
  bool update = false;
  bool overwriteAlways = false;
  bool overwriteNever = false;
  bool excluding = false;  // positional arguments are now exclusions
  // zipinfo's letters: the last format letter given (0 for none), and
  // the lines asked for whatever the format.
  char zipFormat = 0;
  bool zipHeader = false;
  bool zipTotals = false;
  bool zipDecimalTime = false;
  bool zipComment = false;
};

using Apply = void (*)(Request&, Options&, const Argument& value);

// An option: a letter (short) or a word (long, after "--"), whether it takes
// a value, and what it does.
struct OptionRule {
  std::string_view name;
  bool takesValue;
  Apply apply;
};

void SetTarget(Request&, Options& options, const Argument& value) {
  // UnZip refuses a second -d too: which one was meant cannot be guessed.
  if (options.haveTarget) throw UsageError("-d given more than once");
  if (value.text.empty()) throw UsageError("-d needs a folder");
  options.haveTarget = true;
  options.targetShown = value.shown;
  options.target = value.text;
}

// More threads than this only add open files and memory.
constexpr unsigned kMostThreads = 64;

void SetThreads(Request&, Options& options, const Argument& value) {
  const char* const end = value.text.data() + value.text.size();
  unsigned count = 0;
  const auto [stop, error] = std::from_chars(value.text.data(), end, count);
  if (error != std::errc() || stop != end || count < 1 || count > kMostThreads)
    throw UsageError("--threads needs a number from 1 to " + std::to_string(kMostThreads));
  options.threads = count;
}

void SetPassword(Request&, Options& options, const Argument& value) {
  options.havePassword = true;
  options.password = value.text;
}

constexpr OptionRule kLetters[] = {
    {"a", false,
     [](Request&, Options& o, const Argument&) { o.textLines = std::min(o.textLines + 1, 2); }},
    {"c", false,
     [](Request& r, Options& o, const Argument&) {
       r.pipe = true;
       o.pipeWithNames = true;
     }},
    {"C", false, [](Request&, Options& o, const Argument&) { o.caseBlind = true; }},
    {"d", true, SetTarget},
    {"D", false,
     [](Request&, Options& o, const Argument&) { o.skipTimes = std::min(o.skipTimes + 1, 2); }},
    {"f", false, [](Request& r, Options&, const Argument&) { r.freshen = true; }},
    {"h", false, [](Request& r, Options&, const Argument&) { r.help = true; }},
    {"j", false, [](Request&, Options& o, const Argument&) { o.junkPaths = true; }},
    {"K", false, [](Request&, Options& o, const Argument&) { o.keepSpecialBits = true; }},
    {"l", false, [](Request& r, Options&, const Argument&) { r.list = true; }},
    {"L", false,
     [](Request&, Options& o, const Argument&) { o.lowerNames = std::min(o.lowerNames + 1, 2); }},
    {"n", false, [](Request& r, Options&, const Argument&) { r.overwriteNever = true; }},
    {"o", false, [](Request& r, Options&, const Argument&) { r.overwriteAlways = true; }},
    {"O", true, [](Request&, Options& o, const Argument& v) { o.nameCharset = v.shown; }},
    {"p", false, [](Request& r, Options&, const Argument&) { r.pipe = true; }},
    {"P", true, SetPassword},
    {"q", false, [](Request&, Options& o, const Argument&) { o.quiet = std::min(o.quiet + 1, 2); }},
    {"t", false, [](Request& r, Options&, const Argument&) { r.test = true; }},
    {"T", false, [](Request& r, Options&, const Argument&) { r.stamp = true; }},
    {"u", false, [](Request& r, Options&, const Argument&) { r.update = true; }},
    {"v", false, [](Request& r, Options&, const Argument&) { r.verbose = true; }},
    {"x", false, [](Request& r, Options&, const Argument&) { r.excluding = true; }},
    {"X", false, [](Request&, Options& o, const Argument&) { o.keepOwners = true; }},
    {"z", false, [](Request& r, Options&, const Argument&) { r.comment = true; }},
};

// After a leading -Z the letters are zipinfo's.
template <char Format>
void SetZipFormat(Request& r, Options&, const Argument&) {
  r.zipFormat = Format;
}

constexpr OptionRule kZipInfoLetters[] = {
    {"1", false, SetZipFormat<'1'>},
    {"2", false, SetZipFormat<'2'>},
    {"s", false, SetZipFormat<'s'>},
    {"m", false, SetZipFormat<'m'>},
    {"l", false, SetZipFormat<'l'>},
    {"v", false, SetZipFormat<'v'>},
    {"C", false, [](Request&, Options& o, const Argument&) { o.caseBlind = true; }},
    {"h", false, [](Request& r, Options&, const Argument&) { r.zipHeader = true; }},
    {"t", false, [](Request& r, Options&, const Argument&) { r.zipTotals = true; }},
    {"T", false, [](Request& r, Options&, const Argument&) { r.zipDecimalTime = true; }},
    {"z", false, [](Request& r, Options&, const Argument&) { r.zipComment = true; }},
    {"x", false, [](Request& r, Options&, const Argument&) { r.excluding = true; }},
};

constexpr OptionRule kWords[] = {
    {"help", false, [](Request& r, Options&, const Argument&) { r.help = true; }},
    {"threads", true, SetThreads},
    {"tsv", false, [](Request& r, Options&, const Argument&) { r.tsv = true; }},
    {"json", false, [](Request& r, Options&, const Argument&) { r.json = true; }},
    {"version", false, [](Request& r, Options&, const Argument&) { r.version = true; }},
};

template <size_t N>
const OptionRule* Find(const OptionRule (&table)[N], std::string_view name) {
  for (const OptionRule& rule : table)
    if (rule.name == name) return &rule;
  return nullptr;
}

class Parser {
 public:
  Parser(const std::vector<std::string>& raw, const std::vector<std::string>& program)
      : raw_(raw), program_(program) {}

  Options Run();

 private:
  // The argument at i, whole or from byte `from` on. Options are ASCII, so the
  // value after them starts at the same byte in both spellings.
  Argument At(size_t i, size_t from = 0) const {
    return {raw_[i].substr(from), program_[i].substr(std::min(from, program_[i].size()))};
  }
  void Letters(size_t& i, size_t from);
  void Word(size_t& i);
  void Positional(size_t i);
  void Settle();
  void SettleZipInfo();

  const std::vector<std::string>& raw_;
  const std::vector<std::string>& program_;
  Options options_;
  Request request_;
  bool zipInfo_ = false;
  bool haveArchive_ = false;
};

Options Parser::Run() {
  size_t i = 1;
  // ZipInfo mode must be asked for first, as in UnZip: its letters differ.
  if (i < raw_.size() && raw_[i].starts_with("-Z")) {
    zipInfo_ = true;
    if (raw_[i].size() > 2) Letters(i, 2);
    ++i;
  }
  bool optionsEnded = false;
  for (; i < raw_.size(); ++i) {
    const std::string& arg = raw_[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      Positional(i);
    } else if (arg == "--") {
      optionsEnded = true;
    } else if (arg[1] == '-') {
      Word(i);
    } else {
      Letters(i, 1);
    }
  }
  Settle();
  return options_;
}

void Parser::Letters(size_t& i, size_t from) {
  const std::string& arg = raw_[i];
  for (size_t at = from; at < arg.size(); ++at) {
    const std::string_view letter(arg.data() + at, 1);
    const OptionRule* rule = zipInfo_ ? Find(kZipInfoLetters, letter) : Find(kLetters, letter);
    if (rule == nullptr) {
      if (letter == "Z") throw UsageError("-Z must be the first option (-Z1 lists names only)");
      throw UsageError("unknown option -" + std::string(letter) +
                       (arg.size() > 2 ? " in " + arg : std::string()));
    }
    if (!rule->takesValue) {
      rule->apply(request_, options_, {});
      continue;
    }
    // The rest of the letters is the value (-dout, -Psecret), else the next
    // argument is.
    if (at + 1 < arg.size()) {
      rule->apply(request_, options_, At(i, at + 1));
    } else if (i + 1 < raw_.size()) {
      rule->apply(request_, options_, At(++i));
    } else {
      throw UsageError("-" + std::string(letter) + " needs a value");
    }
    return;
  }
}

void Parser::Word(size_t& i) {
  const std::string& arg = raw_[i];
  const size_t equals = arg.find('=');
  const std::string_view name = std::string_view(arg).substr(2, equals - 2);
  const OptionRule* rule = Find(kWords, name);
  if (rule == nullptr) throw UsageError("unknown option --" + std::string(name));
  if (!rule->takesValue) {
    if (equals != std::string::npos) throw UsageError("--" + std::string(name) + " takes no value");
    rule->apply(request_, options_, {});
  } else if (equals != std::string::npos) {
    rule->apply(request_, options_, At(i, equals + 1));
  } else if (i + 1 < raw_.size()) {
    rule->apply(request_, options_, At(++i));
  } else {
    throw UsageError("--" + std::string(name) + " needs a value");
  }
}

void Parser::Positional(size_t i) {
  if (!haveArchive_) {
    haveArchive_ = true;
    options_.archiveShown = raw_[i];
    options_.archive = program_[i];
    return;
  }
  // The names masks match are UTF-8, as the arguments are: any character
  // can be matched.
  (request_.excluding ? options_.excludes : options_.masks).push_back(raw_[i]);
}

void Parser::Settle() {
  Request& r = request_;
  if (r.help || raw_.size() <= 1) {
    options_.mode = Mode::kHelp;
    return;
  }
  // -v without an archive asks UnZip for its version; --version always does.
  if (r.version || (!haveArchive_ && r.verbose)) {
    options_.mode = Mode::kVersion;
    return;
  }
  if (!haveArchive_) throw UsageError("no archive given");
  if (zipInfo_) {
    SettleZipInfo();
    return;
  }

  // What UnZip refuses: bytes to standard output, a test and a refresh of
  // files exclude one another, and -fn would write nothing at all.
  const bool refresh = r.freshen || r.update;
  if (r.pipe + r.test + refresh > 1) throw UsageError("-p, -t and -f or -u do not go together");
  if (r.freshen && r.overwriteNever) throw UsageError("-f and -n do not go together");

  // UnZip does nothing else when asked for the archive's time: no listing,
  // no test, no extraction.
  if (r.stamp) {
    options_.mode = Mode::kStamp;
  } else if (r.comment) {
    options_.mode = Mode::kComment;
  } else if (r.pipe) {
    // The bytes win over a listing, as in UnZip.
    options_.mode = Mode::kPipe;
  } else if (r.test) {
    options_.mode = Mode::kTest;
  } else if (r.names || r.verbose || r.list) {
    options_.mode = Mode::kList;
    options_.listing = r.names ? Listing::kNames : r.verbose ? Listing::kVerbose : Listing::kShort;
  }
  if (r.tsv || r.json) {
    const char* which = r.tsv ? "--tsv" : "--json";
    if (options_.mode != Mode::kList || r.names || (r.tsv && r.json))
      throw UsageError(std::string(which) + " only goes with -l or -v");
    options_.listing = r.tsv ? Listing::kTsv : Listing::kJson;
  }
  // Keeping what is there is the choice that loses nothing.
  if (r.overwriteNever && r.overwriteAlways)
    options_.cautions.push_back("both -n and -o given; -o ignored");
  options_.refresh = r.update ? Refresh::kUpdate : r.freshen ? Refresh::kFreshen : Refresh::kAll;
  options_.overwrite = r.overwriteNever    ? Overwrite::kNever
                       : r.overwriteAlways ? Overwrite::kAlways
                                           : Overwrite::kAsk;
  if (options_.haveTarget && options_.mode != Mode::kExtract)
    options_.cautions.push_back("not extracting; -d ignored");
}

// zipinfo's defaults: -s with the archive's lines; only -h or -t alone
// list no member; -1 never shows the archive's lines, -2 only when asked.
void Parser::SettleZipInfo() {
  const Request& r = request_;
  if (r.tsv || r.json) throw UsageError(std::string(r.tsv ? "--tsv" : "--json") + " only goes with -l or -v");
  options_.mode = Mode::kList;
  if (r.zipFormat == '1') {
    options_.listing = Listing::kNames;
    return;
  }
  options_.listing = Listing::kZipInfo;
  ZipInfoRequest& z = options_.zipInfo;
  switch (r.zipFormat) {
    case '2': z.format = ZipInfoFormat::kNamesWithLines; break;
    case 'm': z.format = ZipInfoFormat::kMedium; break;
    case 'l': z.format = ZipInfoFormat::kLong; break;
    case 's': z.format = ZipInfoFormat::kShort; break;
    case 'v': z.format = ZipInfoFormat::kVerbose; break;
    default:
      z.format = (r.zipHeader || r.zipTotals) && options_.masks.empty() && options_.excludes.empty()
                     ? ZipInfoFormat::kNone
                     : ZipInfoFormat::kShort;
      break;
  }
  z.header = r.zipHeader;
  z.totals = r.zipTotals;
  z.decimalTime = r.zipDecimalTime;
  z.comment = r.zipComment;
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& raw, const std::vector<std::string>& program) {
  Parser parser(raw, program);
  return parser.Run();
}

zip::NameCase NameCaseOf(const Options& options) {
  return options.lowerNames >= 2   ? zip::NameCase::kLowerAll
         : options.lowerNames == 1 ? zip::NameCase::kLowerSingleCaseHosts
                                   : zip::NameCase::kAsStored;
}

unsigned ThreadsAllowed(const Options& options) {
  return options.threads > 0 ? options.threads : std::max(1u, std::thread::hardware_concurrency());
}

}  // namespace tunzip
